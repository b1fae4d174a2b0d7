// An OPC UA client that no one here wrote (node-opcua) against the gateway,
// with mbpoll as the independent Modbus master on the slave's side.
// Usage: node node_opcua_check.js <opc.tcp url> <slave port>
// Prints one line per step and "ALL OK" at the end; exits 1 on the first failure.
"use strict";
const { execFileSync } = require("child_process");
const {
  OPCUAClient, MessageSecurityMode, SecurityPolicy, AttributeIds, DataType, StatusCodes,
  ClientSubscription, ClientMonitoredItem, TimestampsToReturn, Variant,
} = require("node-opcua-client");

const [url, slavePort] = process.argv.slice(2);
const node = (name) => "ns=2;s=" + name;
const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Holding register by its 1-based reference, as mbpoll counts.
function slaveRead(reference) {
  const out = execFileSync("mbpoll", ["-m", "tcp", "-a", "1", "-t", "4", "-r", String(reference), "-c", "1", "-1",
    "-p", slavePort, "127.0.0.1"], { encoding: "utf8", timeout: 10000 });
  const match = out.match(new RegExp("\\[" + reference + "\\]:\\s+(-?\\d+)"));
  if (!match) throw new Error("mbpoll gave no value: " + out);
  return Number(match[1]);
}
function slaveWrite(reference, value) {
  execFileSync("mbpoll", ["-m", "tcp", "-a", "1", "-t", "4", "-r", String(reference), "-p", slavePort,
    "127.0.0.1", String(value)], { encoding: "utf8", timeout: 10000 });
}
function check(condition, what) {
  if (!condition) throw new Error(what);
  console.log("ok: " + what);
}

async function main() {
  const client = OPCUAClient.create({
    endpointMustExist: false, securityMode: MessageSecurityMode.None, securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 2, initialDelay: 200, maxDelay: 1000 },
  });
  await client.connect(url);
  const session = await client.createSession();
  try {
    const browsed = await session.browse(node("Каналы"));
    const names = browsed.references.map((r) => r.browseName.name);
    check(names.includes("M") && names.includes("Каналы.addNode"), "browse Каналы: " + names.join(", "));

    let value = null;
    for (let i = 0; i < 50; ++i) {
      value = await session.read({ nodeId: node("M.D.G.HR10"), attributeId: AttributeIds.Value });
      if (value.statusCode === StatusCodes.Good && value.value.value === 10) break;
      await sleep(100);
    }
    check(value.statusCode === StatusCodes.Good && value.value.value === 10, "read the slave's register 10 as 10");

    const written = await session.write({ nodeId: node("M.D.G.HR11"), attributeId: AttributeIds.Value,
      value: { value: new Variant({ dataType: DataType.UInt16, value: 1234 }) } });
    check(written === StatusCodes.Good, "write 1234 answered Good");
    check(slaveRead(12) === 1234, "the slave's register 11 holds 1234");

    const subscription = ClientSubscription.create(session, { requestedPublishingInterval: 100,
      requestedMaxKeepAliveCount: 10, requestedLifetimeCount: 100, publishingEnabled: true });
    const item = ClientMonitoredItem.create(subscription, { nodeId: node("M.D.G.HR12"), attributeId: AttributeIds.Value },
      { samplingInterval: 100, discardOldest: true, queueSize: 10 }, TimestampsToReturn.Both);
    const seen = [];
    item.on("changed", (dataValue) => seen.push(dataValue.value.value));
    for (let i = 0; i < 50 && !seen.includes(12); ++i) await sleep(100);
    check(seen.includes(12), "subscription delivers the register's value 12");
    slaveWrite(13, 4321);
    for (let i = 0; i < 50 && !seen.includes(4321); ++i) await sleep(100);
    check(seen.includes(4321), "subscription delivers 4321 written into the slave");
    await subscription.terminate();

    const call = async (method, text) => {
      const result = await session.call({ objectId: node("Каналы"), methodId: node("Каналы." + method),
        inputArguments: [new Variant({ dataType: DataType.String, value: text })] });
      return [result.statusCode, result.outputArguments.length ? result.outputArguments[0].value : null];
    };
    const [addStatus, addText] = await call("addNode", "M.D.G;4;Extra;3;21;2;1;1;1;1;0;0;0;0;0;0");
    check(addStatus === StatusCodes.Good && addText === "Success", "addNode: " + addText);
    const extra = await session.read({ nodeId: node("M.D.G.Extra"), attributeId: AttributeIds.DataType });
    check(extra.statusCode === StatusCodes.Good, "the added tag is a node");
    const [deleteStatus, deleteText] = await call("deleteNode", "M.D.G.Extra");
    check(deleteStatus === StatusCodes.Good && deleteText === "Success", "deleteNode: " + deleteText);
    const gone = await session.read({ nodeId: node("M.D.G.Extra"), attributeId: AttributeIds.DataType });
    check(gone.statusCode === StatusCodes.BadNodeIdUnknown, "the deleted tag is gone");
  } finally {
    await session.close();
    await client.disconnect();
  }
  console.log("ALL OK");
}

main().then(() => process.exit(0), (error) => {
  console.log("FAILED: " + error.message);
  process.exit(1);
});
