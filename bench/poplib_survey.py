#!/usr/bin/python3
"""The survey's POP3 sequence with Python's poplib, as a baseline:
login (USER/PASS), STAT, then LIST n and TOP n LINES for every message, QUIT.

usage: poplib_survey.py HOST PORT USER PASSWORD [LINES]"""
import poplib
import sys


def main(argv):
    if len(argv) < 5:
        sys.exit(__doc__)
    host, port, user, password = argv[1], int(argv[2]), argv[3], argv[4]
    lines = int(argv[5]) if len(argv) > 5 else 2
    pop = poplib.POP3(host, port)
    pop.user(user)
    pop.pass_(password)
    count, _ = pop.stat()
    for n in range(1, count + 1):
        pop.list(n)
        pop.top(n, lines)
    pop.quit()
    print(count)


if __name__ == "__main__":
    main(sys.argv)
