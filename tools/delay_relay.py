#!/usr/bin/env python3
"""A relay on 127.0.0.1 that holds every piece of data for a fixed time in
each direction, for benchmarks across a slow link on loopback: with 20 ms
each way a connection costs a 40 ms round trip, and its set-up one more
(the upstream connection is made after a round trip).

Usage: delay_relay.py --to PORT [--delay-ms 20]
Prints "PORT <n>" on its first output line once it listens.
"""
import argparse
import asyncio
import sys


async def pipe(reader, writer, delay):
    """Copies reader to writer, each piece sent delay seconds after it came."""
    loop = asyncio.get_running_loop()
    queue = asyncio.Queue()

    async def take():
        while True:
            data = await reader.read(65536)
            await queue.put((loop.time() + delay, data))
            if not data:
                return

    async def give():
        while True:
            due, data = await queue.get()
            wait = due - loop.time()
            if wait > 0:
                await asyncio.sleep(wait)
            if not data:
                if writer.can_write_eof():
                    writer.write_eof()
                return
            writer.write(data)
            await writer.drain()

    try:
        await asyncio.gather(take(), give())
    except (ConnectionError, OSError):
        pass


async def relay(client_reader, client_writer, port, delay):
    await asyncio.sleep(2 * delay)  # the link's handshake
    try:
        server_reader, server_writer = await asyncio.open_connection("127.0.0.1", port)
    except OSError:
        client_writer.close()
        return
    await asyncio.gather(pipe(client_reader, server_writer, delay),
                         pipe(server_reader, client_writer, delay))
    for w in (client_writer, server_writer):
        w.close()


async def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--to", type=int, required=True)
    parser.add_argument("--delay-ms", type=float, default=20)
    args = parser.parse_args()
    delay = args.delay_ms / 1000
    server = await asyncio.start_server(lambda r, w: relay(r, w, args.to, delay), "127.0.0.1", 0,
                                        backlog=128)
    print("PORT %d" % server.sockets[0].getsockname()[1], flush=True)
    async with server:
        await server.serve_forever()


if __name__ == "__main__":
    try:
        sys.exit(asyncio.run(main()))
    except KeyboardInterrupt:
        pass
