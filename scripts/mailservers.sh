#!/usr/bin/env bash
# Private mail servers on 127.0.0.1 for Korvane's tests, or for trying the
# program against a local server:
#   dovecot  POP3 (USER/PASS, APOP, STLS) and POP3S, on 127.0.0.1 and 127.0.0.2
#   aiosmtpd SMTP with STARTTLS, submission (STARTTLS + AUTH) and SMTPS
# Every port is a free high port chosen at start, so several runs can live
# side by side.
#
#   mailservers.sh start DIR          start both in DIR and write DIR/env
#   mailservers.sh stop DIR           stop both (by their PIDs)
#   mailservers.sh deliver DIR FILE.. put messages into the POP3 mailbox
#                                     (FILE "-" reads standard input)
#   mailservers.sh empty DIR          empty the POP3 mailbox and the SMTP spool
#
# DIR/env is shell-sourceable KEY=VALUE:
#   POP3_HOST POP3_HOST2 POP3_PORT POP3S_PORT SMTP_PORT SUBMISSION_PORT SMTPS_PORT
#   MAIL_USER MAIL_PASSWORD MAILDIR SMTP_SPOOL CA_FILE
# The servers' certificate is signed by a CA made at start (CA_FILE); the
# program trusts it when the environment variable KORVANE_CA_FILE names it.
# A recipient whose local part starts with "reject" is refused by the SMTP
# server with 550. After failed logins dovecot would delay later logins; its
# penalty socket is removed at start so negative tests stay fast.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
PY=/usr/bin/python3

die() { echo "mailservers: $*" >&2; exit 1; }

usage() {
  sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

[[ $# -ge 2 ]] || usage
cmd="$1"
dir="$2"
shift 2

free_ports() {
  # Binds N sockets to port 0 at once so the kernel hands out distinct free
  # ports, then releases them for the servers.
  "$PY" - "$1" <<'PYEOF'
import socket, sys
socks = []
for _ in range(int(sys.argv[1])):
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    socks.append(s)
print(" ".join(str(s.getsockname()[1]) for s in socks))
PYEOF
}

wait_for_port() {  # host port seconds
  local deadline=$((SECONDS + $3))
  while ! "$PY" -c "import socket,sys; socket.create_connection((sys.argv[1], int(sys.argv[2])), 0.5).close()" "$1" "$2" 2>/dev/null; do
    [[ $SECONDS -lt $deadline ]] || return 1
    sleep 0.05
  done
}

wait_gone() {  # pid seconds
  local deadline=$((SECONDS + $2))
  while kill -0 "$1" 2>/dev/null; do
    [[ $SECONDS -lt $deadline ]] || return 1
    sleep 0.05
  done
}

load_env() {
  [[ -f "$dir/env" ]] || die "no servers in $dir (run: $0 start $dir)"
  # shellcheck disable=SC1091
  source "$dir/env"
}

make_certificates() {
  local c="$dir/certs"
  mkdir -p "$c"
  openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Korvane test CA" \
    -keyout "$c/ca.key" -out "$c/ca.crt" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    >/dev/null 2>&1 || die "openssl could not make the CA"
  openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" \
    -keyout "$c/server.key" -out "$c/server.csr" >/dev/null 2>&1 || die "openssl could not make the key"
  printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=digitalSignature,keyEncipherment" \
    "extendedKeyUsage=serverAuth" "subjectAltName=DNS:localhost,IP:127.0.0.1,IP:127.0.0.2" > "$c/server.ext"
  openssl x509 -req -in "$c/server.csr" -CA "$c/ca.crt" -CAkey "$c/ca.key" -CAcreateserial \
    -days 30 -extfile "$c/server.ext" -out "$c/server.crt" >/dev/null 2>&1 || die "openssl could not sign"
  chmod 644 "$c/ca.crt" "$c/server.crt"
  chmod 640 "$c/server.key"
}

start() {
  command -v dovecot >/dev/null || die "dovecot is not installed (scripts/install-deps.sh --tests)"
  "$PY" -c "import aiosmtpd" 2>/dev/null || die "python3-aiosmtpd is not installed (scripts/install-deps.sh --tests)"
  [[ -f "$dir/env" ]] && stop_servers quiet
  mkdir -p "$dir"
  dir="$(cd "$dir" && pwd)"
  rm -rf "$dir/run" "$dir/state" "$dir/mail" "$dir/spool" "$dir/certs"
  mkdir -p "$dir/run" "$dir/state" "$dir/spool"

  local user password mailuser mailgroup
  user=pilgrim
  password="henro-$(od -An -N6 -tx1 /dev/urandom | tr -d ' \n')"
  if [[ $(id -u) -eq 0 ]]; then
    # dovecot refuses uid 0 for mail; it serves the mailbox as nobody, so the
    # folder and every parent must be traversable by nobody.
    mailuser=nobody
    mailgroup=$(id -gn nobody)
    local p="$dir"
    while [[ "$p" != "/" ]]; do
      chmod o+x "$p" 2>/dev/null || true
      p="$(dirname "$p")"
    done
  else
    mailuser=$(id -un)
    mailgroup=$(id -gn)
  fi

  make_certificates

  local maildir="$dir/mail/$user/Maildir"
  mkdir -p "$maildir/tmp" "$maildir/new" "$maildir/cur"
  chown -R "$mailuser:$mailgroup" "$dir/mail" 2>/dev/null || true

  read -r pop3 pop3s smtp submission smtps < <(free_ports 5)

  printf '%s:{PLAIN}%s:::::\n' "$user" "$password" > "$dir/passwd"
  chmod 644 "$dir/passwd"

  # Without root, dovecot runs every process as the caller and cannot chroot.
  local unprivileged="" nochroot=""
  if [[ $(id -u) -ne 0 ]]; then
    unprivileged="default_internal_user = $mailuser
default_internal_group = $mailgroup
default_login_user = $mailuser
service anvil {
  chroot =
}"
    nochroot="chroot ="
  fi

  cat > "$dir/dovecot.conf" <<CONF
# Private dovecot of Korvane's mail-server fixture.
base_dir = $dir/run
state_dir = $dir/state
instance_name = korvane-$(basename "$dir")-$$
log_path = $dir/dovecot.log
protocols = pop3
listen = 127.0.0.1, 127.0.0.2
ssl = yes
ssl_cert = <$dir/certs/server.crt
ssl_key = <$dir/certs/server.key
ssl_min_protocol = TLSv1.2
disable_plaintext_auth = yes
auth_mechanisms = plain login apop cram-md5
mail_location = maildir:$dir/mail/%u/Maildir
first_valid_uid = 0
pop3_uidl_format = %08Xu%08Xv
$unprivileged
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/passwd
}
userdb {
  driver = static
  args = uid=$mailuser gid=$mailgroup home=$dir/mail/%u
}
service pop3-login {
  $nochroot
  inet_listener pop3 {
    port = $pop3
  }
  inet_listener pop3s {
    port = $pop3s
    ssl = yes
  }
}
service imap-login {
  $nochroot
  inet_listener imap {
    port = 0
  }
  inet_listener imaps {
    port = 0
  }
}
service stats {
  unix_listener stats-reader {
    mode = 0666
  }
  unix_listener stats-writer {
    mode = 0666
  }
}
CONF

  # Its own output goes to a file: a caller that waits for our output (ctest)
  # must not wait for the server.
  dovecot -c "$dir/dovecot.conf" </dev/null >>"$dir/dovecot.log" 2>&1 || die "dovecot did not start (see $dir/dovecot.log)"
  wait_for_port 127.0.0.1 "$pop3" 10 || die "dovecot does not answer on $pop3 (see $dir/dovecot.log)"
  wait_for_port 127.0.0.2 "$pop3" 5 || die "dovecot does not answer on 127.0.0.2:$pop3"
  wait_for_port 127.0.0.1 "$pop3s" 5 || die "dovecot does not answer on $pop3s"
  # No login delay after failed logins: negative tests stay fast.
  rm -f "$dir/run/anvil-auth-penalty"
  cp "$dir/run/master.pid" "$dir/dovecot.pid"

  setsid "$PY" "$here/mailservers/smtpd.py" --spool "$dir/spool" \
    --cert "$dir/certs/server.crt" --key "$dir/certs/server.key" \
    --user "$user" --password "$password" \
    --plain "$smtp" --submission "$submission" --smtps "$smtps" \
    >"$dir/smtpd.log" 2>&1 < /dev/null &
  echo $! > "$dir/smtpd.pid"
  for port in "$smtp" "$submission" "$smtps"; do
    wait_for_port 127.0.0.1 "$port" 10 || { stop_servers quiet; die "aiosmtpd does not answer on $port (see $dir/smtpd.log)"; }
  done

  cat > "$dir/env.work" <<ENV
POP3_HOST=127.0.0.1
POP3_HOST2=127.0.0.2
POP3_PORT=$pop3
POP3S_PORT=$pop3s
SMTP_PORT=$smtp
SUBMISSION_PORT=$submission
SMTPS_PORT=$smtps
MAIL_USER=$user
MAIL_PASSWORD=$password
MAILDIR=$maildir
SMTP_SPOOL=$dir/spool
CA_FILE=$dir/certs/ca.crt
ENV
  mv "$dir/env.work" "$dir/env"
  echo "mailservers: POP3 127.0.0.1:$pop3 (POP3S $pop3s), SMTP $smtp, submission $submission, SMTPS $smtps; user $user; details in $dir/env"
}

stop_servers() {
  local quiet="${1:-}" name pid pids=()
  # Both are told to stop at once, then awaited (dovecot takes a few seconds).
  for name in smtpd dovecot; do
    [[ -f "$dir/$name.pid" ]] || continue
    pid=$(cat "$dir/$name.pid")
    if [[ -n "$pid" ]] && kill -0 "$pid" 2>/dev/null; then
      kill "$pid" 2>/dev/null || true
      pids+=("$pid")
    fi
    rm -f "$dir/$name.pid"
  done
  for pid in "${pids[@]}"; do
    wait_gone "$pid" 10 || kill -9 "$pid" 2>/dev/null || true
  done
  rm -f "$dir/env"
  [[ -n "$quiet" ]] || echo "mailservers: stopped"
}

deliver() {
  load_env
  [[ $# -ge 1 ]] || die "deliver: no message files given"
  local f name n=0
  for f in "$@"; do
    n=$((n + 1))
    name="$(date +%s).M$(date +%N)P$$Q$n.korvane"
    if [[ "$f" == "-" ]]; then
      cat > "$MAILDIR/tmp/$name"
    else
      cp "$f" "$MAILDIR/tmp/$name"
    fi
    chmod 644 "$MAILDIR/tmp/$name"
    mv "$MAILDIR/tmp/$name" "$MAILDIR/new/$name"
  done
}

empty() {
  load_env
  # dovecot-uidlist stays, so UIDLs never repeat.
  find "$MAILDIR/new" "$MAILDIR/cur" "$MAILDIR/tmp" -type f -delete
  find "$SMTP_SPOOL" -type f -delete
}

case "$cmd" in
  start) start ;;
  stop) [[ -d "$dir" ]] && stop_servers || true ;;
  deliver) deliver "$@" ;;
  empty) empty ;;
  *) usage ;;
esac
