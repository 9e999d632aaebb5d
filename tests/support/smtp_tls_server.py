"""aiosmtpd with TLS and SMTP AUTH, for the secure forwarding tests.

usage: smtp_tls_server.py DIR PORT MODE [options]

MODE is plain, starttls (STARTTLS on a plain port) or smtps (TLS from the
first byte). Every accepted mail is stored byte for byte in DIR/Maildir/new
(maildir_handler.RawMaildir, with an X-Auth line naming the login that sent
it); every AUTH attempt is written to DIR/auth.log as "MECHANISM LOGIN
PASSWORD secure|plain" the moment the server receives it, so a test can see
that a password never arrived. DIR/ready holds the port once the server
answers.

options:
  --cert PEM --key PEM   the server's certificate and key (starttls, smtps)
  --user LOGIN:PASSWORD  the one account AUTH accepts
  --auth-plain-text      also offer AUTH without TLS (the default is not to)
  --no-plain             offer AUTH LOGIN only
"""
import argparse
import os
import signal
import ssl
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from aiosmtpd.controller import Controller  # noqa: E402
from aiosmtpd.smtp import AuthResult, LoginPassword  # noqa: E402
from maildir_handler import RawMaildir  # noqa: E402


class Handler(RawMaildir):
    async def handle_DATA(self, server, session, envelope):
        login = session.auth_data.login.decode() if session.authenticated else "-"
        envelope.original_content = ("X-Auth: %s\r\n" % login).encode() + envelope.original_content
        return await super().handle_DATA(server, session, envelope)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("dir")
    parser.add_argument("port", type=int)
    parser.add_argument("mode", choices=["plain", "starttls", "smtps"])
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--user")
    parser.add_argument("--auth-plain-text", action="store_true")
    parser.add_argument("--no-plain", action="store_true")
    args = parser.parse_args()

    context = None
    if args.mode != "plain":
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
    auth_log = os.path.join(args.dir, "auth.log")
    # aiosmtpd takes only STARTTLS for TLS; a connection that starts in TLS
    # is secure from its first byte.
    implicit = args.mode == "smtps"

    def authenticator(server, session, envelope, mechanism, data):
        if not isinstance(data, LoginPassword):
            return AuthResult(success=False, handled=False)
        with open(auth_log, "a") as log:
            log.write("%s %s %s %s\n" % (mechanism, data.login.decode(errors="replace"),
                                         data.password.decode(errors="replace"),
                                         "secure" if session.ssl or implicit else "plain"))
        wanted = (args.user or "").encode().split(b":", 1)
        return AuthResult(success=[data.login, data.password] == wanted, handled=False,
                          auth_data=data)

    kwargs = dict(hostname="127.0.0.1", port=args.port, ident="tarnu test SMTP")
    if args.mode == "smtps":
        kwargs["ssl_context"] = context
    elif args.mode == "starttls":
        kwargs["tls_context"] = context
    if args.user:
        kwargs["authenticator"] = authenticator
        kwargs["auth_require_tls"] = not (args.auth_plain_text or implicit)
        if args.no_plain:
            kwargs["auth_exclude_mechanism"] = ["PLAIN"]
    controller = Controller(Handler(os.path.join(args.dir, "Maildir")), **kwargs)
    controller.start()
    with open(os.path.join(args.dir, "ready.tmp"), "w") as ready:
        ready.write(str(args.port))
    os.rename(os.path.join(args.dir, "ready.tmp"), os.path.join(args.dir, "ready"))
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    try:
        while True:
            time.sleep(3600)
    finally:
        controller.stop()


if __name__ == "__main__":
    main()
