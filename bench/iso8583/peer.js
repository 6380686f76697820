// peer.js - the same purchase request round trip through the npm package
// iso_8583 (set the fields, pack once; unpack into a fresh message, read every
// field), timed the way bench_iso8583 times ours. Run by compare.sh, which
// installs the package into a scratch folder and puts it on NODE_PATH.
// Prints one line per measure: "<name> <operations per second>".
'use strict';
const Iso8583 = require('iso_8583');

// Our message's values in the package's own field formats: binary fields
// (track 2, PIN block, MAC) as the hexadecimal or text forms it expects.
const PURCHASE = {
  0: '0200', 2: '6037991234567890123', 3: '000000', 4: '000000150000', 11: '000123', 12: '101500',
  13: '0615', 22: '021', 24: '006', 25: '00', 35: '6037991234567890D2512101123456789', 41: '12345678',
  42: '1234567        ', 48: '01010123456789120214012406005020310215702221', 49: '364',
  52: '8A1F023C4490EE17', 64: '5E1A09C3',
};
const FIELDS = Object.keys(PURCHASE);

function pack() {
  const msg = new Iso8583(Object.assign({}, PURCHASE));
  const out = msg.getBufferMessage(); // with its 2-byte length word, which getIsoJSON expects
  if (!Buffer.isBuffer(out)) throw new Error('pack failed: ' + JSON.stringify(out));
  return out;
}

let sink = 0;
function unpackAndRead(wire) {
  const fields = new Iso8583().getIsoJSON(wire, {});
  if (fields.error) throw new Error('unpack failed: ' + fields.error);
  for (const f of FIELDS) sink += fields[f].length;
}

// Runs op for about `seconds` of CPU time (after a warm-up) and returns
// operations per CPU second, as the C++ benchmark counts its rates, so a busy
// machine does not favour either side.
function rate(op, seconds) {
  for (let i = 0; i < 2000; ++i) op();
  let n = 0;
  const cpu = () => { const u = process.cpuUsage(); return (u.user + u.system) / 1e6; };
  const start = cpu();
  let elapsed = 0;
  while (elapsed < seconds) {
    for (let i = 0; i < 500; ++i) op();
    n += 500;
    elapsed = cpu() - start;
  }
  return n / elapsed;
}

const seconds = Number(process.argv[2] || 1);
const wire = pack();
// The round trip must give back what went in.
const back = new Iso8583().getIsoJSON(wire, {});
for (const f of FIELDS)
  if (String(back[f]).trim().toUpperCase() !== PURCHASE[f].trim().toUpperCase()) throw new Error('field ' + f + ' came back as ' + back[f]);

console.log('peer_pack ' + rate(pack, seconds).toFixed(0));
console.log('peer_unpack ' + rate(() => unpackAndRead(wire), seconds).toFixed(0));
console.log('peer_roundtrip ' + rate(() => unpackAndRead(pack()), seconds).toFixed(0));
if (sink === 0) console.log('(nothing read)');
