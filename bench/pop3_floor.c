/* The floor a POP3 survey client can reach: a small buffered client that
 * does the survey's dialogue and nothing else (no decoding, no entries).
 *
 *   sequential  login, STAT, then LIST n and TOP n LINES for every message,
 *               each answered before the next command goes out; QUIT
 *   pipelined   the same commands, sent in windows of at most WINDOW bytes
 *               in flight, the replies read in order
 *   uidl        login, STAT, UIDL; QUIT (a check that finds nothing new)
 *
 * Prints the number of messages it went through.
 *
 * usage: pop3_floor HOST PORT USER PASSWORD LINES MODE [WINDOW] */
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/socket.h>
#include <unistd.h>

static int sock = -1;
static char in[65536];
static size_t in_start, in_end;

static void die(const char* what) {
  fprintf(stderr, "pop3_floor: %s\n", what);
  exit(1);
}

static void send_all(const char* data, size_t length) {
  while (length > 0) {
    ssize_t n = send(sock, data, length, 0);
    if (n <= 0) die("send failed");
    data += n;
    length -= (size_t)n;
  }
}

/* One line into `line` (LF included, cut at `capacity` - 1 bytes). */
static size_t read_line(char* line, size_t capacity) {
  size_t length = 0;
  for (;;) {
    if (in_start == in_end) {
      ssize_t n = recv(sock, in, sizeof in, 0);
      if (n <= 0) die("connection closed");
      in_start = 0;
      in_end = (size_t)n;
    }
    const char* p = in + in_start;
    size_t available = in_end - in_start;
    const char* lf = memchr(p, '\n', available);
    size_t take = lf ? (size_t)(lf - p) + 1 : available;
    if (length + take < capacity) {
      memcpy(line + length, p, take);
      length += take;
    }
    in_start += take;
    if (lf) {
      line[length] = '\0';
      return length;
    }
  }
}

static void expect_ok(const char* what) {
  char line[1024];
  read_line(line, sizeof line);
  if (strncmp(line, "+OK", 3) != 0) die(what);
}

/* Skips a multi-line reply's lines up to its terminating dot line. */
static void read_multiline(void) {
  char line[1024];
  for (;;) {
    size_t n = read_line(line, sizeof line);
    if (n == 3 && line[0] == '.' && line[1] == '\r') return;
  }
}

static void command(const char* text, const char* what) {
  send_all(text, strlen(text));
  expect_ok(what);
}

int main(int argc, char** argv) {
  if (argc < 7) die("usage: pop3_floor HOST PORT USER PASSWORD LINES MODE [WINDOW]");
  const char* mode = argv[6];
  int lines = atoi(argv[5]);
  size_t window = argc > 7 ? (size_t)atol(argv[7]) : 4096;

  struct sockaddr_in address;
  memset(&address, 0, sizeof address);
  address.sin_family = AF_INET;
  address.sin_port = htons((unsigned short)atoi(argv[2]));
  if (inet_pton(AF_INET, argv[1], &address.sin_addr) != 1) die("bad address");
  sock = socket(AF_INET, SOCK_STREAM, 0);
  if (sock < 0 || connect(sock, (struct sockaddr*)&address, sizeof address) != 0) {
    die("cannot connect");
  }
  int one = 1;
  setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);

  char text[1200];
  expect_ok("greeting");
  snprintf(text, sizeof text, "USER %s\r\n", argv[3]);
  command(text, "USER refused");
  snprintf(text, sizeof text, "PASS %s\r\n", argv[4]);
  command(text, "PASS refused");
  send_all("STAT\r\n", 6);
  char line[1024];
  read_line(line, sizeof line);
  int count = 0;
  if (sscanf(line, "+OK %d", &count) != 1) die("STAT refused");

  if (strcmp(mode, "sequential") == 0) {
    for (int n = 1; n <= count; ++n) {
      snprintf(text, sizeof text, "LIST %d\r\n", n);
      command(text, "LIST refused");
      snprintf(text, sizeof text, "TOP %d %d\r\n", n, lines);
      command(text, "TOP refused");
      read_multiline();
    }
  } else if (strcmp(mode, "pipelined") == 0) {
    /* Command n * 2 - 1 is LIST n, command n * 2 is TOP n. */
    static char out[65536];
    int next = 1, answered = 1, last = count * 2;
    size_t in_flight = 0;
    size_t lengths[1024];
    while (answered <= last) {
      size_t used = 0;
      while (next <= last && in_flight + 32 <= window && next - answered < 1024) {
        int n = (next + 1) / 2;
        int length = next % 2 ? snprintf(out + used, 64, "LIST %d\r\n", n)
                              : snprintf(out + used, 64, "TOP %d %d\r\n", n, lines);
        lengths[next % 1024] = (size_t)length;
        used += (size_t)length;
        in_flight += (size_t)length;
        ++next;
      }
      if (used > 0) send_all(out, used);
      /* Read until half the window is free again. */
      do {
        expect_ok(answered % 2 ? "LIST refused" : "TOP refused");
        if (answered % 2 == 0) read_multiline();
        in_flight -= lengths[answered % 1024];
        ++answered;
      } while (answered <= last && (in_flight > window / 2 || next > last));
    }
  } else if (strcmp(mode, "uidl") == 0) {
    command("UIDL\r\n", "UIDL refused");
    read_multiline();
  } else {
    die("unknown mode");
  }
  send_all("QUIT\r\n", 6);
  close(sock);
  printf("%d\n", count);
  return 0;
}
