#!/usr/bin/python3
"""A Modbus slave of known contents for the tests, served by pymodbus.

Prints "READY <tcp port>" (0 for a serial line) on standard output once it
serves. Contents of every unit: holding register i = i, input register
i = 0x1000 + i, coil i = i % 2, discrete input i = (i % 3 == 0), for
i < 1000 (--size), unless --init gives other values as JSON
{"hr": {"addr": value}, "ir": ..., "co": ..., "di": ...}. With --log-writes
it prints "WRITE <kind> <address> <values>" for every write it carries out.
"""
import argparse
import asyncio
import json
import logging
import sys

from pymodbus.datastore import (ModbusSequentialDataBlock, ModbusServerContext,
                                ModbusSlaveContext)
from pymodbus.server import StartAsyncSerialServer, StartAsyncTcpServer
from pymodbus.transaction import (ModbusAsciiFramer, ModbusRtuFramer,
                                  ModbusSocketFramer)

FRAMERS = {"socket": ModbusSocketFramer, "rtu": ModbusRtuFramer, "ascii": ModbusAsciiFramer}


class LoggingBlock(ModbusSequentialDataBlock):
    """Tells on standard output what each write request changes."""

    def __init__(self, kind, address, values):
        super().__init__(address, values)
        self.kind = kind

    def setValues(self, address, values):
        shown = values if isinstance(values, list) else [values]
        print("WRITE %s %d %s" % (self.kind, address, " ".join(str(int(v)) for v in shown)), flush=True)
        super().setValues(address, values)


def make_context(units, init, size, log_writes):
    def block(kind, default):
        values = [default(i) for i in range(size)]
        for addr, value in init.get(kind, {}).items():
            values[int(addr)] = int(value)
        if log_writes:
            return LoggingBlock(kind, 0, values)
        return ModbusSequentialDataBlock(0, values)

    slaves = {}
    for unit in units:
        slaves[unit] = ModbusSlaveContext(
            hr=block("hr", lambda i: i), ir=block("ir", lambda i: 0x1000 + i),
            co=block("co", lambda i: i % 2), di=block("di", lambda i: int(i % 3 == 0)),
            zero_mode=True)
    return ModbusServerContext(slaves=slaves, single=False)


async def serve(args):
    context = make_context([int(u) for u in args.units.split(",")], json.loads(args.init), args.size,
                           args.log_writes)
    framer = FRAMERS[args.framer]
    if args.device:
        server = await StartAsyncSerialServer(
            context=context, framer=framer, port=args.device, baudrate=args.baud,
            defer_start=True)
        await server.start()
        print("READY 0", flush=True)
        await asyncio.Event().wait()
    server = await StartAsyncTcpServer(
        context=context, framer=framer, address=("127.0.0.1", args.port), defer_start=True)
    task = asyncio.create_task(server.serve_forever())
    await server.serving
    print("READY %d" % server.server.sockets[0].getsockname()[1], flush=True)
    await task


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--framer", choices=sorted(FRAMERS), default="socket")
    parser.add_argument("--port", type=int, default=0, help="TCP port on 127.0.0.1, 0 any")
    parser.add_argument("--device", help="serial device instead of TCP")
    parser.add_argument("--baud", type=int, default=9600)
    parser.add_argument("--units", default="1")
    parser.add_argument("--init", default="{}")
    parser.add_argument("--size", type=int, default=1000, help="addresses served of each kind")
    parser.add_argument("--log-writes", action="store_true")
    args = parser.parse_args()
    logging.basicConfig(level=logging.CRITICAL, stream=sys.stderr)
    asyncio.run(serve(args))


if __name__ == "__main__":
    main()
