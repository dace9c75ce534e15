// palm-pdb's side of bench/codec_margins: reads the AddressDB (every record
// decoded) and writes it again (every record encoded), `passes` times, and
// prints the median CPU milliseconds of one pass and a check of the records.
// Usage: node codec_margins_palm_pdb.js <palm-pdb module folder> <AddressDB.pdb> <passes>
'use strict';
const fs = require('fs');
const {AddressDatabase} = require(process.argv[2]);

const file = fs.readFileSync(process.argv[3]);
const passes = Number(process.argv[4] || 5);

function pass() {
  const db = AddressDatabase.from(file);
  const out = db.serialize();
  return {db, out};
}

pass();  // warms the JIT, as the benchmark's own iterations warm ours
const times = [];
let last;
for (let p = 0; p < passes; ++p) {
  const before = process.cpuUsage();
  last = pass();
  const used = process.cpuUsage(before);
  times.push((used.user + used.system) / 1000);
}
times.sort((a, b) => a - b);
const first = last.db.records[0];
console.log(JSON.stringify({
  cpu_ms: times[Math.floor(times.length / 2)],
  records: last.db.records.length,
  first_last_name: first.cells.find((c) => c.fieldType === 0)?.value,
  written_bytes: last.out.length,
}));
