#!/usr/bin/env bash
# A self-contained Dovecot POP3 server on loopback, for tests, benchmarks and
# demos. Everything lives in one scratch directory; nothing else on the
# machine is touched. Needs root (Dovecot switches to its own user for mail).
#
#   dovecot.sh init DIR [USER:PASSWORD ...]
#       Prepares DIR: the accounts (default alice:secret and bob:secret) and an
#       empty Maildir for each, DIR/mail/USER/Maildir. Fill them with
#       mkmail.py before starting (or run "dovecot.sh own DIR" after adding).
#   dovecot.sh start DIR [PORT]
#       Starts the server (init with the defaults first if DIR is not yet
#       prepared) on 127.0.0.1:PORT, a free port when PORT is 0 or missing,
#       waits for its greeting and prints the port. Logins: USER/PASS and APOP
#       (the greeting carries a timestamp); failed logins are not delayed.
#   dovecot.sh stop DIR
#       Stops the server and waits until it has exited.
#   dovecot.sh own DIR
#       Hands the mail directories to Dovecot's user (after adding messages
#       to a running server).
#   dovecot.sh tls DIR CERT KEY
#       Gives the next start TLS with this certificate (PEM, the chain after
#       the server's own) and key: STLS on the plain port and a POP3S
#       listener on a second free port, written to DIR/pop3s_port.
#
# The log is DIR/dovecot.log; the port of a running server is in DIR/port.
set -euo pipefail

usage() { sed -n '2,/^set -euo/p' "$0" | sed '$d' | sed 's/^# \{0,1\}//' >&2; exit 2; }

[ $# -ge 2 ] || usage
cmd=$1
dir=$2
shift 2

free_port() {
  /usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

own() {
  chown -R dovecot:dovecot "$dir/mail"
}

init() {
  mkdir -p "$dir"
  # Dovecot's mail processes run as the dovecot user and must reach DIR.
  chmod 755 "$dir"
  mkdir -p "$dir/run" "$dir/state" "$dir/mail"
  local accounts=("$@")
  [ ${#accounts[@]} -gt 0 ] || accounts=(alice:secret bob:secret)
  : >"$dir/users"
  local a user password
  for a in "${accounts[@]}"; do
    user=${a%%:*}
    password=${a#*:}
    printf '%s:{PLAIN}%s::::::\n' "$user" "$password" >>"$dir/users"
    mkdir -p "$dir/mail/$user/Maildir/new" "$dir/mail/$user/Maildir/cur" \
      "$dir/mail/$user/Maildir/tmp"
  done
}

write_config() {
  local port=$1 ssl=no
  [ -f "$dir/tls.pem" ] && ssl=yes
  cat >"$dir/dovecot.conf" <<EOF
protocols = pop3
listen = 127.0.0.1
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
ssl = $ssl
disable_plaintext_auth = no
auth_mechanisms = plain apop
auth_failure_delay = 0
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/users
}
userdb {
  driver = passwd-file
  args = username_format=%u $dir/users
}
mail_location = maildir:$dir/mail/%u/Maildir
mail_uid = dovecot
mail_gid = dovecot
first_valid_uid = 1
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
$(pop3s_listener)
}
$(tls_settings)
# No growing per-address penalty after failed logins (costs one
# "net_connect_unix(anvil-auth-penalty)" line in the log).
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
EOF
}

pop3s_listener() {
  [ -f "$dir/tls.pem" ] || return 0
  local p
  p=$(free_port)
  echo "$p" >"$dir/pop3s_port"
  printf '  inet_listener pop3s {\n    address = 127.0.0.1\n    port = %s\n    ssl = yes\n  }\n' "$p"
}

tls_settings() {
  [ -f "$dir/tls.pem" ] || return 0
  printf 'ssl_cert = <%s\nssl_key = <%s\nssl_min_protocol = TLSv1.2\n' "$dir/tls.pem" "$dir/tls.key"
  # Logins name the TLS protocol and cipher (%k).
  printf 'login_log_format_elements = user=<%%u> method=%%m rip=%%r lip=%%l mpid=%%e %%c %%k session=<%%{session}>\n'
}

greets() {
  # True once the server answers with its +OK greeting.
  (exec 3<>"/dev/tcp/127.0.0.1/$1" && head -c3 <&3 | grep -q '+OK') 2>/dev/null
}

start() {
  if [ "$(id -u)" -ne 0 ]; then
    echo "dovecot.sh: the test Dovecot needs root" >&2
    exit 1
  fi
  command -v dovecot >/dev/null || { echo "dovecot.sh: dovecot is not installed" >&2; exit 1; }
  [ -f "$dir/users" ] || init
  own
  local wanted=${1:-0} port attempt i
  for attempt in 1 2 3; do
    port=$wanted
    [ "$port" != 0 ] || port=$(free_port)
    write_config "$port"
    rm -f "$dir/run/master.pid"
    # The daemon keeps the caller's descriptors: never leave it on a pipe.
    if dovecot -c "$dir/dovecot.conf" </dev/null >/dev/null 2>"$dir/startup.err"; then
      for i in $(seq 1 300); do
        if greets "$port"; then
          echo "$port" >"$dir/port"
          echo "$port"
          return 0
        fi
        sleep 0.01
      done
      stop
    fi
    # A fixed port that fails will fail again; a free one may have been taken
    # in between: try another.
    [ "$wanted" = 0 ] || break
  done
  echo "dovecot.sh: dovecot did not come up" >&2
  cat "$dir/startup.err" "$dir/dovecot.log" >&2 2>/dev/null || true
  exit 1
}

stop() {
  local p
  p=$(cat "$dir/run/master.pid" 2>/dev/null) || return 0
  kill "$p" 2>/dev/null || return 0
  # The daemonised master may linger as a zombie of init: count it as gone.
  while [ -e "/proc/$p" ] && [ "$(awk '{print $3}' "/proc/$p/stat" 2>/dev/null)" != Z ]; do
    sleep 0.02
  done
  rm -f "$dir/port"
}

tls() {
  [ $# -eq 2 ] || usage
  [ -d "$dir" ] || init
  cp "$1" "$dir/tls.pem"
  cp "$2" "$dir/tls.key"
}

case "$cmd" in
  init) init "$@" ;;
  tls) tls "$@" ;;
  start) start "$@" ;;
  stop) stop ;;
  own) own ;;
  *) usage ;;
esac
