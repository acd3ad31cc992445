"""A private SMTP server for Korvane's tests and for trying the program
against a local server. Runs with Debian's /usr/bin/python3 (aiosmtpd).

Three listeners on 127.0.0.1:
  plain       SMTP with STARTTLS, no AUTH
  submission  STARTTLS, then AUTH (required before MAIL)
  smtps       TLS from the start, AUTH required

Every accepted message is saved byte for byte (as received after the DATA
dot-unstuffing, CR LF kept) as SPOOL/NNNNNN.eml, and its envelope as
SPOOL/NNNNNN.env (lines "from <addr>", "to <addr>", "auth <user>",
"listener <name>", "tls yes|no"). Files appear atomically: written under a
dot name, then renamed.

A recipient whose local part starts with "reject" is refused with 550.

usage: smtpd.py --spool DIR --cert CRT --key KEY --user U --password P
                --plain PORT --submission PORT --smtps PORT
"""
import argparse
import asyncio
import itertools
import os
import signal
import ssl

from aiosmtpd.smtp import SMTP, AuthResult, LoginPassword


class SpoolHandler:
    def __init__(self, spool, listener):
        self.spool = spool
        self.listener = listener

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        local = address.split("@", 1)[0].lower()
        if local.startswith("reject"):
            return f"550 5.1.1 <{address}>: Recipient address rejected: User unknown"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        number = next_number(self.spool)
        base = os.path.join(self.spool, f"{number:06d}")
        content = envelope.original_content
        if content is None:
            content = envelope.content
        if isinstance(content, str):
            content = content.encode("utf-8", "surrogateescape")
        lines = [f"from {envelope.mail_from}"]
        lines += [f"to {r}" for r in envelope.rcpt_tos]
        user = session.auth_data.login.decode("utf-8", "replace") if isinstance(
            session.auth_data, LoginPassword) else ""
        lines.append(f"auth {user}")
        lines.append(f"listener {self.listener}")
        secured = bool(session.ssl) or server.transport.get_extra_info("ssl_object") is not None
        lines.append("tls " + ("yes" if secured else "no"))
        write_atomically(base + ".env", ("\n".join(lines) + "\n").encode("utf-8"))
        write_atomically(base + ".eml", content)
        return "250 Message accepted for delivery"


_counter = itertools.count(1)


def next_number(spool):
    while True:
        n = next(_counter)
        if not os.path.exists(os.path.join(spool, f"{n:06d}.eml")):
            return n


def write_atomically(path, data):
    folder, name = os.path.split(path)
    work = os.path.join(folder, "." + name + ".work")
    with open(work, "wb") as f:
        f.write(data)
        f.flush()
        os.fsync(f.fileno())
    os.rename(work, path)


def main():
    p = argparse.ArgumentParser()
    for opt in ("spool", "cert", "key", "user", "password"):
        p.add_argument("--" + opt, required=True)
    for opt in ("plain", "submission", "smtps"):
        p.add_argument("--" + opt, type=int, required=True)
    p.add_argument("--host", default="127.0.0.1")
    a = p.parse_args()

    tls = ssl.create_default_context(ssl.Purpose.CLIENT_AUTH)
    tls.load_cert_chain(a.cert, a.key)

    def authenticator(server, session, envelope, mechanism, auth_data):
        ok = (isinstance(auth_data, LoginPassword)
              and auth_data.login == a.user.encode()
              and auth_data.password == a.password.encode())
        if ok:
            return AuthResult(success=True, auth_data=auth_data)
        # handled=False: aiosmtpd itself answers 535.
        return AuthResult(success=False, handled=False)

    loop = asyncio.new_event_loop()
    asyncio.set_event_loop(loop)
    size = 64 * 1024 * 1024

    def factory(listener, **kw):
        return lambda: SMTP(SpoolHandler(a.spool, listener), hostname="korvane-test", loop=loop,
                            data_size_limit=size, timeout=60, **kw)

    servers = [
        loop.create_server(factory("plain", tls_context=tls), a.host, a.plain),
        loop.create_server(factory("submission", tls_context=tls, auth_required=True,
                                   auth_require_tls=True, authenticator=authenticator),
                           a.host, a.submission),
        loop.create_server(factory("smtps", auth_required=True, auth_require_tls=False,
                                   authenticator=authenticator),
                           a.host, a.smtps, ssl=tls),
    ]
    for s in servers:
        loop.run_until_complete(s)
    loop.add_signal_handler(signal.SIGTERM, loop.stop)
    loop.add_signal_handler(signal.SIGINT, loop.stop)
    loop.run_forever()


if __name__ == "__main__":
    main()
