// A certificate as the user identity over the endpoint without encryption,
// from a client no one here wrote (node-opcua).
// Usage: node node_opcua_identity.js <opc.tcp url> <certificate .der> <key .pem>
// Prints "REFUSED <status name>" or "SESSION OPENED"; exits 1 when it cannot tell.
"use strict";
const fs = require("fs");
const { OPCUAClient, MessageSecurityMode, SecurityPolicy, UserTokenType } = require("node-opcua-client");

const [url, certificate, key] = process.argv.slice(2);

async function main() {
  const client = OPCUAClient.create({
    endpointMustExist: false, securityMode: MessageSecurityMode.None, securityPolicy: SecurityPolicy.None,
    connectionStrategy: { maxRetry: 1, initialDelay: 200, maxDelay: 1000 },
  });
  await client.connect(url);
  try {
    const session = await client.createSession({
      type: UserTokenType.Certificate, certificateData: fs.readFileSync(certificate),
      privateKey: fs.readFileSync(key, "utf8"),
    });
    console.log("SESSION OPENED");
    await session.close();
  } catch (error) {
    const match = String(error.message).match(/Bad[A-Za-z]+/);
    console.log("REFUSED " + (match ? match[0] : error.message));
  } finally {
    await client.disconnect();
  }
}

main().then(() => process.exit(0), (error) => {
  console.log("FAILED: " + error.message);
  process.exit(1);
});
