"""Independent Modbus framing for the exchange tests: pymodbus's own framers
decode the requests our code builds and build the responses our code must
accept. Reads one JSON object a line on stdin and answers each with one line
of space-separated key=value fields on stdout (lists comma-separated):

  {"op": "decode", "protocol": "rtu|ascii|tcp", "hex": "..."}
      -> fc= unit= tid= address= count= values=      or  error=...
  {"op": "respond", "protocol": ..., "unit": 1, "tid": 1, "kind": ..., ...}
      -> hex=...
"""
import json
import sys

from pymodbus.bit_read_message import ReadCoilsResponse, ReadDiscreteInputsResponse
from pymodbus.bit_write_message import WriteMultipleCoilsResponse, WriteSingleCoilResponse
from pymodbus.factory import ServerDecoder, ClientDecoder
from pymodbus.framer.ascii_framer import ModbusAsciiFramer
from pymodbus.framer.rtu_framer import ModbusRtuFramer
from pymodbus.framer.socket_framer import ModbusSocketFramer
from pymodbus.pdu import ExceptionResponse
from pymodbus.register_read_message import (ReadHoldingRegistersResponse,
                                            ReadInputRegistersResponse)
from pymodbus.register_write_message import (WriteMultipleRegistersResponse,
                                             WriteSingleRegisterResponse)

FRAMERS = {"rtu": ModbusRtuFramer, "ascii": ModbusAsciiFramer, "tcp": ModbusSocketFramer}


def decode(protocol, data):
    framer = FRAMERS[protocol](ServerDecoder())
    found = []
    framer.processIncomingPacket(data, found.append, unit=list(range(256)), single=True)
    if len(found) != 1:
        return {"error": "pymodbus took %d requests from the frame" % len(found)}
    req = found[0]
    out = {"fc": req.function_code, "unit": req.unit_id, "tid": req.transaction_id,
           "address": getattr(req, "address", None)}
    if hasattr(req, "count"):
        out["count"] = req.count
    if hasattr(req, "values"):
        out["values"] = [int(v) for v in req.values]
    elif hasattr(req, "value"):
        out["values"] = [int(req.value)]
    return out


def response(msg):
    kind = msg["kind"]
    if kind == "registers":
        cls = ReadHoldingRegistersResponse if msg["fc"] == 3 else ReadInputRegistersResponse
        return cls(msg["values"])
    if kind == "bits":
        cls = ReadCoilsResponse if msg["fc"] == 1 else ReadDiscreteInputsResponse
        return cls([bool(b) for b in msg["values"]])
    if kind == "write_register":
        return WriteSingleRegisterResponse(msg["address"], msg["value"])
    if kind == "write_coil":
        return WriteSingleCoilResponse(msg["address"], bool(msg["value"]))
    if kind == "write_registers":
        return WriteMultipleRegistersResponse(msg["address"], msg["count"])
    if kind == "write_coils":
        return WriteMultipleCoilsResponse(msg["address"], msg["count"])
    if kind == "exception":
        return ExceptionResponse(msg["fc"], msg["code"])
    raise ValueError(kind)


def respond(msg):
    pdu = response(msg)
    pdu.unit_id = msg["unit"]
    pdu.transaction_id = msg.get("tid", 0)
    framer = FRAMERS[msg["protocol"]](ClientDecoder())
    return {"hex": framer.buildPacket(pdu).hex()}


def main():
    for line in sys.stdin:
        if not line.strip():
            continue
        msg = json.loads(line)
        try:
            if msg["op"] == "decode":
                out = decode(msg["protocol"], bytes.fromhex(msg["hex"]))
            else:
                out = respond(msg)
        except Exception as error:  # reported to the test, which fails on it
            out = {"error": repr(error)}
        fields = []
        for key, value in out.items():
            if isinstance(value, list):
                value = ",".join(str(v) for v in value)
            fields.append("%s=%s" % (key, str(value).replace(" ", "_")))
        print(" ".join(fields), flush=True)


if __name__ == "__main__":
    main()
