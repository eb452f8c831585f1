// Drives zelt-pjlinkd with the `pjlink` package from the npm registry, a client this project did
// not write, and prints one "step=result" line per step (JSON values, "error <message>" for
// errors). The test that starts it compares the lines.
//   node pjlink_client_check.js NODE_MODULES HOST PORT PASSWORD
'use strict';

const path = require('path');
const [modules, host, port, password] = process.argv.slice(2);
const PJLink = require(path.join(modules, 'pjlink'));

function call(client, method, ...args) {
    return new Promise((resolve) => {
        client[method](...args, (err, value) => resolve(err ? 'error ' + err.message : JSON.stringify(value ?? 'ok')));
    });
}

async function step(name, client, method, ...args) {
    const result = await call(client, method, ...args);
    console.log(name + '=' + result);
    return result;
}

async function main() {
    const intruder = new PJLink(host, Number(port), password + 'x');
    await step('wrong-password', intruder, 'powerOn');
    intruder.disconnect();

    const client = new PJLink(host, Number(port), password);
    await step('power-after-intruder', client, 'getPowerState');
    await step('input-in-standby', client, 'setInput', {source: 'rgb', channel: 1});
    await step('power-on', client, 'powerOn');
    let state = await step('power-first', client, 'getPowerState');
    for (let i = 0; i < 100 && state !== '1'; ++i) {
        await new Promise((resolve) => setTimeout(resolve, 100));
        state = await call(client, 'getPowerState');
    }
    console.log('power=' + state);
    await step('input-hdmi', client, 'setInput', {source: 'digital', channel: 1});
    const input = await call(client, 'getInput');
    console.log('input=' + JSON.stringify(JSON.parse(input).code));
    await step('mute-audio', client, 'setMute', {audio: true});
    await step('mute', client, 'getMute');
    await step('input-unknown', client, 'setInput', '99');
    await step('lamps', client, 'getLamps');
    await step('errors', client, 'getErrors');
    await step('manufacturer', client, 'getManufacturer');
    await step('model', client, 'getModel');
    await step('name', client, 'getName');
    await step('class', client, 'getClass');
    client.disconnect();
}

main().then(() => process.exit(0), (e) => {
    console.log('failed=' + e);
    process.exit(1);
});
