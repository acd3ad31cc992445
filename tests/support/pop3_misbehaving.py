#!/usr/bin/python3
"""A small POP3 server on 127.0.0.1 that misbehaves on command.

The mailbox is a folder of files, one mail each, in name order. DELE marks a
mail; QUIT removes the marked files, as a real server does; a connection that
ends without QUIT removes nothing. Every command received is appended to
commands.log in the mailbox's parent folder.

  pop3_misbehaving.py MAILBOX PORTFILE [options]

Options (each may be given once):
  --cut N         RETR N sends half of mail N, then closes the connection
  --dup-uidl      every mail has the same UIDL
  --refuse-dele N DELE N is answered with -ERR
  --trickle       RETR sends one byte every 0.2 s
  --in-pieces     RETR sends its answer in pieces of 1, 2, ... 7 bytes,
                  one every millisecond
  --lie-size      LIST says every mail has 10 bytes
  --huge-size     LIST says every mail has 40,000,000 bytes
  --pipelining    CAPA lists PIPELINING (commands may come in a row)
  --quit-close    QUIT closes the connection without an answer and removes
                  nothing
The server runs until it is killed.
"""
import asyncio
import os
import sys


def parse(argv):
    opts = {"cut": 0, "dup": False, "refuse": 0, "trickle": False, "lie": False, "pipelining": False,
            "pieces": False, "quitclose": False, "huge": False}
    i = 0
    while i < len(argv):
        a = argv[i]
        if a == "--cut":
            opts["cut"] = int(argv[i + 1]); i += 1
        elif a == "--refuse-dele":
            opts["refuse"] = int(argv[i + 1]); i += 1
        elif a == "--dup-uidl":
            opts["dup"] = True
        elif a == "--trickle":
            opts["trickle"] = True
        elif a == "--in-pieces":
            opts["pieces"] = True
        elif a == "--lie-size":
            opts["lie"] = True
        elif a == "--huge-size":
            opts["huge"] = True
        elif a == "--pipelining":
            opts["pipelining"] = True
        elif a == "--quit-close":
            opts["quitclose"] = True
        i += 1
    return opts


def stuffed(data):
    lines = data.split(b"\r\n")
    return b"\r\n".join(b"." + l if l.startswith(b".") else l for l in lines)


async def session(reader, writer, box, opts, log):
    names = sorted(n for n in os.listdir(box) if not n.startswith("."))
    mails = []
    for n in names:
        with open(os.path.join(box, n), "rb") as f:
            mails.append(f.read())
    marked = set()
    writer.write(b"+OK misbehaving POP3 ready\r\n")
    try:
        while True:
            line = await reader.readline()
            if not line:
                return
            cmd = line.strip().decode("latin-1")
            with open(log, "a") as f:
                f.write(cmd + "\n")
            verb, _, arg = cmd.partition(" ")
            verb = verb.upper()
            if verb == "CAPA":
                extra = b"PIPELINING\r\n" if opts["pipelining"] else b""
                writer.write(b"+OK\r\nUSER\r\nUIDL\r\nTOP\r\n" + extra + b".\r\n")
            elif verb in ("USER", "PASS", "NOOP", "RSET"):
                writer.write(b"+OK\r\n")
            elif verb == "STAT":
                writer.write(b"+OK %d %d\r\n" % (len(mails), sum(map(len, mails))))
            elif verb == "LIST":
                out = b"+OK\r\n"
                for i, m in enumerate(mails, 1):
                    out += b"%d %d\r\n" % (i, 10 if opts["lie"] else 40000000 if opts["huge"] else len(m))
                writer.write(out + b".\r\n")
            elif verb == "UIDL":
                out = b"+OK\r\n"
                for i, m in enumerate(mails, 1):
                    out += b"%d %s\r\n" % (i, b"same" if opts["dup"] else names[i - 1].encode())
                writer.write(out + b".\r\n")
            elif verb in ("RETR", "TOP"):
                n = int(arg.split()[0])
                data = mails[n - 1]
                if verb == "TOP":
                    data = data.split(b"\r\n\r\n", 1)[0] + b"\r\n\r\n"
                body = stuffed(data[:-2] if data.endswith(b"\r\n") else data) + b"\r\n.\r\n"
                if verb == "RETR" and n == opts["cut"]:
                    writer.write(b"+OK\r\n" + body[: len(body) // 2])
                    await writer.drain()
                    writer.close()
                    return
                if verb == "RETR" and opts["trickle"]:
                    writer.write(b"+OK\r\n")
                    for b in body:
                        writer.write(bytes([b]))
                        await writer.drain()
                        await asyncio.sleep(0.2)
                    continue
                if verb == "RETR" and opts["pieces"]:
                    answer, at, size = b"+OK\r\n" + body, 0, 1
                    while at < len(answer):
                        writer.write(answer[at:at + size])
                        await writer.drain()
                        await asyncio.sleep(0.001)
                        at, size = at + size, size % 7 + 1
                    continue
                writer.write(b"+OK\r\n" + body)
            elif verb == "DELE":
                n = int(arg)
                if n == opts["refuse"]:
                    writer.write(b"-ERR this mail cannot be deleted now\r\n")
                else:
                    marked.add(n)
                    writer.write(b"+OK marked\r\n")
            elif verb == "QUIT" and opts["quitclose"]:
                writer.close()
                return
            elif verb == "QUIT":
                for n in marked:
                    os.remove(os.path.join(box, names[n - 1]))
                writer.write(b"+OK bye\r\n")
                await writer.drain()
                writer.close()
                return
            else:
                writer.write(b"-ERR unknown command\r\n")
            await writer.drain()
    except (ConnectionError, asyncio.IncompleteReadError):
        return


async def main():
    box, portfile = sys.argv[1], sys.argv[2]
    opts = parse(sys.argv[3:])
    log = os.path.join(os.path.dirname(os.path.abspath(box)), "commands.log")
    server = await asyncio.start_server(lambda r, w: session(r, w, box, opts, log), "127.0.0.1", 0)
    port = server.sockets[0].getsockname()[1]
    with open(portfile + ".tmp", "w") as f:
        f.write(str(port))
    os.rename(portfile + ".tmp", portfile)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    asyncio.run(main())
