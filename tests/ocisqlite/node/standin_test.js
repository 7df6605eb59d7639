// node-oracledb in thick mode (ODPI-C over OCI) against the stand-in, as a
// program written for Oracle runs it: nothing here knows it is not Oracle.
// Environment: OCISQLITE_LIB (the stand-in's lib folder), OCISQLITE_TOOL (the
// admin tool, to make a fresh store), TZ (the session's zone, UTC).
'use strict';
const { test, before, after } = require('node:test');
const assert = require('node:assert/strict');
const { execFileSync } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const oracledb = require('oracledb');

const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'ocisqlite_node_'));
const store = path.join(dir, 'store.db');
const account = { user: 'system', password: 'manager', connectString: store };
let conn;

before(async () => {
  execFileSync(process.env.OCISQLITE_TOOL, ['create', store, 'manager']);
  oracledb.initOracleClient({ libDir: process.env.OCISQLITE_LIB });
  conn = await oracledb.getConnection(account);
});

after(async () => {
  if (conn) await conn.close();
  fs.rmSync(dir, { recursive: true, force: true });
});

test('connects as a thick-mode client and reads the versions', async () => {
  assert.equal(oracledb.thin, false);
  assert.ok(oracledb.oracleClientVersion >= 1102000000, String(oracledb.oracleClientVersion));
  assert.match(conn.oracleServerVersionString, /^11\.2\.0\.4/);
  const r = await conn.execute('select 1 + 1, user from dual');
  assert.deepEqual(r.rows, [[2, 'SYSTEM']]);
});

test('binds of every supported type come back as written', async () => {
  await conn.execute(`create table every_type (id number(9) primary key, n number, f number(12, 4),
      s varchar2(40), c char(5), d date, t timestamp, t3 timestamp(3), r raw(8))`);
  const when = new Date(Date.UTC(2024, 6, 4, 15, 5, 9, 123));
  const rows = [
    [1, 42, 1234.5678, 'plain', 'ab', when, when, when, Buffer.from([0, 1, 254, 255])],
    [2, -12345678901234, -0.0001, 'ção € 𝄞', 'xyzzy', new Date(Date.UTC(1, 0, 1)),
      new Date(Date.UTC(9999, 11, 31, 23, 59, 59, 999)), new Date(Date.UTC(2000, 1, 29)), Buffer.alloc(0)],
    [3, null, null, null, null, null, null, null, null],
    [4, 0.1, 0, '', ' ', when, when, when, Buffer.from('hi')],
  ];
  for (const row of rows) await conn.execute('insert into every_type values (:1, :2, :3, :4, :5, :6, :7, :8, :9)', row);
  const r = await conn.execute('select * from every_type order by id');
  assert.deepEqual(r.metaData.map((m) => m.dbTypeName),
    ['NUMBER', 'NUMBER', 'NUMBER', 'VARCHAR2', 'CHAR', 'DATE', 'TIMESTAMP', 'TIMESTAMP', 'RAW']);
  const want = rows.map((row) => row.map((v) => (v === '' || (Buffer.isBuffer(v) && v.length === 0) ? null : v)));
  // DATE holds no fraction of a second; CHAR(5) is padded when fetched.
  want[0][5] = new Date(Date.UTC(2024, 6, 4, 15, 5, 9));
  want[3][5] = want[0][5];
  want[0][4] = 'ab   ';
  want[3][4] = '     ';
  want[1][7] = new Date(Date.UTC(2000, 1, 29));
  assert.deepEqual(r.rows, want);
});

test('binds by name, in and out, and RETURNING INTO', async () => {
  await conn.execute('create table named (id number, label varchar2(20))');
  const r = await conn.execute('insert into named (id, label) values (:id, :label) returning rowid, label into :rid, :back', {
    id: 7, label: 'seven',
    rid: { dir: oracledb.BIND_OUT, type: oracledb.STRING },
    back: { dir: oracledb.BIND_OUT, type: oracledb.STRING },
  });
  assert.equal(r.rowsAffected, 1);
  assert.match(r.outBinds.rid[0], /^[A-Za-z0-9+/]{18}$/);
  assert.deepEqual(r.outBinds.back, ['seven']);
  const q = await conn.execute('select label from named where rowid = :rid', [r.outBinds.rid[0]]);
  assert.deepEqual(q.rows, [['seven']]);
});

test('executeMany inserts every row, and stops at the failing one', async () => {
  await conn.execute('create table many (id number primary key, s varchar2(10), d date)');
  const day = new Date(Date.UTC(2023, 0, 2));
  const data = Array.from({ length: 100 }, (_, i) => ({ id: i, s: `row ${i}`, d: day }));
  const r = await conn.executeMany('insert into many values (:id, :s, :d)', data, {
    bindDefs: { id: { type: oracledb.NUMBER }, s: { type: oracledb.STRING, maxSize: 10 }, d: { type: oracledb.DATE } },
  });
  assert.equal(r.rowsAffected, 100);
  const q = await conn.execute('select count(*), sum(id), min(d) from many');
  assert.deepEqual(q.rows, [[100, 4950, day]]);
  await assert.rejects(conn.executeMany('insert into many (id) values (:1)', [[200], [201], [5], [202]]),
    /ORA-00001: unique constraint/);
  const after = await conn.execute('select count(*) from many where id >= 200');
  assert.deepEqual(after.rows, [[2]]);
  // With batchErrors every good row goes in and each refused one is reported with its offset.
  const batch = await conn.executeMany('insert into many (id) values (:1)', [[300], [7], [301], [8], [302]],
    { batchErrors: true });
  assert.equal(batch.rowsAffected, 3);
  assert.deepEqual(batch.batchErrors.map((e) => [e.offset, e.errorNum]), [[1, 1], [3, 1]]);
  assert.deepEqual((await conn.execute('select count(*) from many where id >= 300')).rows, [[3]]);
  await conn.rollback();
});

test('commit and rollback as Oracle has them, seen from a second session', async () => {
  await conn.execute('create table tx (id number)');
  const other = await oracledb.getConnection(account);
  try {
    await conn.execute('insert into tx values (1)');
    assert.deepEqual((await other.execute('select count(*) from tx')).rows, [[0]]);
    await conn.commit();
    assert.deepEqual((await other.execute('select count(*) from tx')).rows, [[1]]);
    await conn.execute('insert into tx values (2)');
    await conn.rollback();
    assert.deepEqual((await conn.execute('select count(*) from tx')).rows, [[1]]);
    await conn.execute('insert into tx values (3)', [], { autoCommit: true });
    assert.deepEqual((await other.execute('select id from tx order by id')).rows, [[1], [3]]);
  } finally {
    await other.close();
  }
});

test('errors arrive with their Oracle numbers and the session goes on', async () => {
  const cases = [
    ['select * from no_such_table', /ORA-00942/],
    ["select to_number('x') from dual", /ORA-01722/],
    ['insert into tx values (1, 2)', /ORA-00913/],
  ];
  for (const [sql, want] of cases) await assert.rejects(conn.execute(sql), want, sql);
  assert.deepEqual((await conn.execute('select 1 from dual')).rows, [[1]]);
});

test('a query fetched in batches and through a result set', async () => {
  await conn.execute('create table big (id number)');
  await conn.executeMany('insert into big values (:1)', Array.from({ length: 250 }, (_, i) => [i]));
  const r = await conn.execute('select id from big order by id', [], { fetchArraySize: 7, prefetchRows: 3 });
  assert.equal(r.rows.length, 250);
  assert.deepEqual(r.rows[249], [249]);
  const rs = (await conn.execute('select id from big order by id', [], { resultSet: true })).resultSet;
  let seen = 0;
  for (let rows; (rows = await rs.getRows(40)).length; ) seen += rows.length;
  await rs.close();
  assert.equal(seen, 250);
  await conn.rollback();
});

test('CLOB and BLOB values of every size come back whole, as strings and through LOB objects', async () => {
  await conn.execute('create table lobs (id number, c clob, b blob)');
  const big = 'ção € 𝄞 '.repeat(12000);  // past 64 KB in UTF-8, surrogate pairs included
  const bytes = Buffer.alloc(100001, 7);
  bytes[100000] = 255;
  await conn.execute('insert into lobs values (:1, :2, :3)', [1, 'short', Buffer.from([1, 2, 3])]);
  await conn.execute('insert into lobs values (:1, :2, :3)', [2, big, bytes]);
  await conn.execute('insert into lobs values (3, empty_clob(), null)');
  // A temporary LOB is a writable stream: bound once it has finished.
  const temp = await conn.createLob(oracledb.CLOB);
  await new Promise((resolve, reject) => {
    temp.on('finish', resolve).on('error', reject);
    temp.write('written ');
    temp.end('to a temporary LOB');
  });
  await conn.execute('insert into lobs (id, c) values (4, :1)', [temp]);
  await temp.close();

  const asValues = await conn.execute('select id, c, b from lobs order by id', [],
    { fetchInfo: { C: { type: oracledb.STRING }, B: { type: oracledb.BUFFER } } });
  assert.deepEqual(asValues.rows.map((r) => r[0]), [1, 2, 3, 4]);
  assert.equal(asValues.rows[0][1], 'short');
  assert.equal(asValues.rows[1][1], big);
  assert.ok(asValues.rows[1][2].equals(bytes));
  assert.equal(asValues.rows[3][1], 'written to a temporary LOB');

  const asLobs = await conn.execute('select c, b from lobs where id = 2');
  const [clob, blob] = asLobs.rows[0];
  assert.equal(clob.type, oracledb.CLOB);
  assert.equal(await clob.getData(), big);
  assert.ok((await blob.getData()).equals(bytes));
  await conn.rollback();
});

test('a REF CURSOR opened in a PL/SQL block is fetched by the client', async () => {
  await conn.execute('create table cur (id number, name varchar2(10))');
  await conn.executeMany('insert into cur values (:1, :2)', [[1, 'one'], [2, 'two'], [3, 'three']]);
  const r = await conn.execute('begin open :c for select id, name from cur where id >= :low order by id; end;', {
    c: { dir: oracledb.BIND_OUT, type: oracledb.CURSOR },
    low: 2,
  });
  const rs = r.outBinds.c;
  assert.deepEqual(rs.metaData.map((m) => m.name), ['ID', 'NAME']);
  assert.deepEqual(await rs.getRows(10), [[2, 'two'], [3, 'three']]);
  await rs.close();
  await assert.rejects(conn.execute('begin open :c for select 1 from dual; end;', { c: 'not a cursor' }),
    /ORA-00932/);
  await conn.rollback();
});

test('a connection pool gives sessions of the store and counts them', async () => {
  await assert.rejects(oracledb.createPool({ ...account, password: 'wrong', poolMin: 1, poolMax: 2 }), /ORA-01017/);
  const pool = await oracledb.createPool({ ...account, poolMin: 1, poolMax: 2, poolIncrement: 1 });
  try {
    const a = await pool.getConnection();
    const b = await pool.getConnection();
    assert.equal(pool.connectionsInUse, 2);
    await a.execute('create table pooled (id number)');
    await a.execute('insert into pooled values (1)');
    assert.deepEqual((await b.execute('select count(*) from pooled')).rows, [[0]]);
    await a.commit();
    assert.deepEqual((await b.execute('select count(*) from pooled')).rows, [[1]]);
    await a.close();
    await b.close();
    assert.equal(pool.connectionsInUse, 0);
  } finally {
    await pool.close(0);
  }
});
