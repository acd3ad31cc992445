#!/usr/bin/python3
"""A small SMTP server on 127.0.0.1 that answers the end of a mail late.

  smtp_late_reply.py PORTFILE DELAY [--silent]

Every command is answered at once, except the end of the mail (the line
"."), which is answered "250" after DELAY seconds (a negative DELAY: never).
With --silent the server says nothing at all, not even its greeting.
The mail received is written to PORTFILE + ".mail" as it arrived, before the
answer is sent. The server runs until it is killed.
"""
import asyncio
import os
import sys


async def session(reader, writer, delay, mailfile):
    if "--silent" in sys.argv:
        await asyncio.sleep(3600)
    writer.write(b"220 late.example ESMTP\r\n")
    await writer.drain()
    in_data = False
    data = []
    while True:
        line = await reader.readline()
        if not line:
            break
        if in_data:
            if line == b".\r\n":
                in_data = False
                with open(mailfile + ".part", "wb") as f:
                    f.write(b"".join(data))
                os.rename(mailfile + ".part", mailfile)
                if delay < 0:
                    await asyncio.sleep(3600)
                await asyncio.sleep(delay)
                writer.write(b"250 2.0.0 queued\r\n")
            else:
                data.append(line[1:] if line.startswith(b".") else line)
        else:
            verb = line[:4].upper()
            if verb in (b"EHLO", b"HELO"):
                writer.write(b"250 late.example\r\n")
            elif verb == b"DATA":
                in_data = True
                data = []
                writer.write(b"354 go ahead\r\n")
            elif verb == b"QUIT":
                writer.write(b"221 bye\r\n")
                await writer.drain()
                break
            else:
                writer.write(b"250 ok\r\n")
        await writer.drain()
    writer.close()


async def main():
    portfile, delay = sys.argv[1], float(sys.argv[2])
    server = await asyncio.start_server(lambda r, w: session(r, w, delay, portfile + ".mail"), "127.0.0.1", 0)
    with open(portfile + ".tmp", "w") as f:
        f.write(str(server.sockets[0].getsockname()[1]))
    os.rename(portfile + ".tmp", portfile)
    async with server:
        await server.serve_forever()


asyncio.run(main())
