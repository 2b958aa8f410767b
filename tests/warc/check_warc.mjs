// Reads the WARC files of a copy with webrecorder's warcio, as replay tools do,
// and checks them against what the server served and what the copy saved:
//
//   node check_warc.mjs --site DIR [--copy DIR] [--min-revisits N] [--index FILE.cdxj] FILE.warc.gz...
//
// Every file must begin with a warcinfo record; every record must parse as
// WARC/1.1 with a urn:uuid Record-ID, a date and a block digest that matches its
// bytes; requests and responses must name each other in WARC-Concurrent-To; a
// response's payload digest must match its body without the transfer coding;
// the body of each 200 answer to a GET, decoded as a browser decodes it, must
// equal the site's file for its path (and the copy's file, for files the copy
// does not rewrite); revisit records must answer 304 with the server-not-modified
// profile. Each index line must point at the record of its address. Prints one
// summary line; exits 1 with the problems found.

import crypto from "node:crypto";
import fs from "node:fs";
import path from "node:path";
import zlib from "node:zlib";

import { WARCParser } from "warcio";

const args = process.argv.slice(2);
const options = { site: null, copy: null, minRevisits: 0, index: null, files: [] };
for (let i = 0; i < args.length; ++i) {
  if (args[i] === "--site") options.site = args[++i];
  else if (args[i] === "--copy") options.copy = args[++i];
  else if (args[i] === "--min-revisits") options.minRevisits = Number(args[++i]);
  else if (args[i] === "--index") options.index = args[++i];
  else options.files.push(args[i]);
}

const problems = [];
const problem = (text) => problems.push(text);

function base32(bytes) {
  const alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
  let bits = 0;
  let value = 0;
  let text = "";
  for (const byte of bytes) {
    value = (value << 8) | byte;
    bits += 8;
    while (bits >= 5) {
      text += alphabet[(value >>> (bits - 5)) & 31];
      bits -= 5;
    }
  }
  if (bits > 0) text += alphabet[(value << (5 - bits)) & 31];
  while (text.length % 8 !== 0) text += "=";
  return text;
}

const sha1 = (bytes) => "sha1:" + base32(crypto.createHash("sha1").update(bytes).digest());

// The head and the body of an HTTP message block.
function splitMessage(block) {
  const buffer = Buffer.from(block);
  let end = buffer.indexOf("\r\n\r\n");
  let skip = 4;
  const bare = buffer.indexOf("\n\n");
  if (end < 0 || (bare >= 0 && bare < end)) {
    end = bare;
    skip = 2;
  }
  if (end < 0) return { head: buffer.toString("latin1"), body: Buffer.alloc(0) };
  return { head: buffer.subarray(0, end).toString("latin1"), body: buffer.subarray(end + skip) };
}

function headerValue(head, name) {
  for (const line of head.split(/\r?\n/).slice(1)) {
    const colon = line.indexOf(":");
    if (colon > 0 && line.slice(0, colon).trim().toLowerCase() === name.toLowerCase())
      return line.slice(colon + 1).trim();
  }
  return "";
}

// The body without its chunked transfer coding.
function dechunk(body) {
  const pieces = [];
  let at = 0;
  for (;;) {
    const lineEnd = body.indexOf("\n", at);
    if (lineEnd < 0) throw new Error("chunk size line missing");
    const size = parseInt(body.subarray(at, lineEnd).toString("latin1").trim(), 16);
    if (Number.isNaN(size)) throw new Error("bad chunk size line");
    at = lineEnd + 1;
    if (size === 0) break;
    pieces.push(body.subarray(at, at + size));
    at += size;
    if (body[at] === 0x0d) ++at;
    if (body[at] === 0x0a) ++at;
  }
  return Buffer.concat(pieces);
}

function sitePath(url) {
  const pathname = decodeURIComponent(new URL(url).pathname);
  return pathname.endsWith("/") ? pathname + "index.html" : pathname;
}

const counts = { files: 0, records: 0, warcinfo: 0, request: 0, response: 0, revisit: 0, bodies: 0, saved: 0, index: 0 };
const byID = new Map();
const responseByURL = new Map();

for (const file of options.files) {
  ++counts.files;
  // First pass: the blocks as stored (no HTTP parsing), for the digests and links.
  const raw = new WARCParser(fs.createReadStream(file), { parseHttp: false });
  let first = true;
  for await (const record of raw) {
    const block = Buffer.from(await record.readFully(false));
    const type = record.warcType;
    const id = record.warcHeader("WARC-Record-ID");
    const where = `${path.basename(file)} @${raw.offset} (${type} ${record.warcTargetURI ?? ""})`;
    ++counts.records;
    counts[type] = (counts[type] ?? 0) + 1;
    if (first && type !== "warcinfo") problem(`${where}: the file does not begin with a warcinfo record`);
    first = false;
    if (record.warcHeaders.protocol !== "WARC/1.1") problem(`${where}: version ${record.warcHeaders.protocol}`);
    if (!/^<urn:uuid:[0-9a-f]{8}-[0-9a-f]{4}-4[0-9a-f]{3}-[89ab][0-9a-f]{3}-[0-9a-f]{12}>$/.test(id ?? ""))
      problem(`${where}: Record-ID ${id}`);
    if (!/^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$/.test(record.warcDate ?? "")) problem(`${where}: date ${record.warcDate}`);
    if (record.warcBlockDigest !== sha1(block))
      problem(`${where}: block digest ${record.warcBlockDigest}, the block's is ${sha1(block)}`);
    if (block.length !== record.warcContentLength) problem(`${where}: length ${block.length} of ${record.warcContentLength}`);
    const entry = { type, id, file, url: record.warcTargetURI, concurrent: record.warcConcurrentTo ?? [], block };
    byID.set(id, entry);
    if (type === "response" || type === "revisit") {
      const { head, body } = splitMessage(block);
      entry.head = head;
      if (type === "response" && record.warcHeader("WARC-Truncated") === null) {
        const chunked = headerValue(head, "Transfer-Encoding").toLowerCase().includes("chunked");
        const payload = chunked ? dechunk(body) : body;
        if (record.warcPayloadDigest !== sha1(payload))
          problem(`${where}: payload digest ${record.warcPayloadDigest}, the payload's is ${sha1(payload)}`);
      }
      if (type === "revisit") {
        if (!/^HTTP\/1\.[01] 304/.test(head)) problem(`${where}: a revisit whose answer is not 304`);
        if (record.warcHeader("WARC-Profile") !== "http://netpreserve.org/warc/1.1/revisit/server-not-modified")
          problem(`${where}: profile ${record.warcHeader("WARC-Profile")}`);
      }
    }
  }

  // Second pass: the answers as a replay tool reads them, bodies decoded.
  const parsed = new WARCParser(fs.createReadStream(file));
  for await (const record of parsed) {
    if (record.warcType !== "response") {
      await record.skipFully();
      continue;
    }
    const id = record.warcHeader("WARC-Record-ID");
    const status = Number(record.httpHeaders?.statusCode);
    const request = byID.get((byID.get(id)?.concurrent ?? [])[0]);
    const method = request ? Buffer.from(request.block).toString("latin1").split(" ")[0] : "";
    const content = Buffer.from(await record.readFully(true));
    if (method !== "GET" || status !== 200 || record.warcHeader("WARC-Truncated") !== null) continue;
    const url = record.warcTargetURI;
    responseByURL.set(url, id);
    const local = sitePath(url);
    if (options.site) {
      const served = path.join(options.site, local);
      if (!fs.existsSync(served)) problem(`${url}: no site file ${served}`);
      else if (!fs.readFileSync(served).equals(content)) problem(`${url}: the body differs from the site's file`);
      else ++counts.bodies;
    }
    // Pages are saved with their links rewritten: the other files are saved as served.
    if (options.copy && !/\.html?$/.test(local)) {
      const saved = path.join(options.copy, local);
      if (!fs.existsSync(saved)) problem(`${url}: not saved at ${saved}`);
      else if (!fs.readFileSync(saved).equals(content)) problem(`${url}: the body differs from the saved file`);
      else ++counts.saved;
    }
  }
}

// Requests and answers name each other.
for (const entry of byID.values()) {
  if (entry.type !== "request" && entry.type !== "response" && entry.type !== "revisit") continue;
  const other = byID.get(entry.concurrent[0]);
  if (!other || !other.concurrent.includes(entry.id) || other.url !== entry.url)
    problem(`${entry.id} (${entry.type} ${entry.url}): WARC-Concurrent-To names no partner that names it back`);
  else if ((entry.type === "request") === (other.type === "request"))
    problem(`${entry.id}: linked to another ${entry.type}`);
}

if (counts.revisit < options.minRevisits) problem(`${counts.revisit} revisit records, ${options.minRevisits} expected`);

// The index: sorted, and each line finds its record.
if (options.index) {
  const lines = fs.readFileSync(options.index, "latin1").split("\n").filter((line) => line.length > 0);
  const sorted = [...lines].sort((a, b) => (a < b ? -1 : a > b ? 1 : 0));
  if (lines.join("\n") !== sorted.join("\n")) problem("the index is not sorted");
  for (const line of lines) {
    ++counts.index;
    const fields = JSON.parse(line.slice(line.indexOf("{")));
    const file = options.files.find((name) => path.basename(name) === fields.filename);
    if (!file) {
      problem(`index line for ${fields.url}: no file ${fields.filename}`);
      continue;
    }
    const bytes = fs.readFileSync(file).subarray(Number(fields.offset), Number(fields.offset) + Number(fields.length));
    const record = zlib.gunzipSync(bytes).toString("latin1");
    const uri = /\r\nWARC-Target-URI: ([^\r]*)\r\n/.exec(record);
    if (!record.startsWith("WARC/1.1\r\n") || !uri || uri[1] !== fields.url)
      problem(`index line for ${fields.url}: offset ${fields.offset} holds another record`);
  }
  for (const url of responseByURL.keys())
    if (!lines.some((line) => JSON.parse(line.slice(line.indexOf("{"))).url === url))
      problem(`${url}: not in the index`);
}

console.log(
  `warcio read ${counts.records} records in ${counts.files} files: ${counts.warcinfo} warcinfo, ` +
    `${counts.request} request, ${counts.response} response, ${counts.revisit} revisit; ` +
    `${counts.bodies} bodies equal the site's files, ${counts.saved} the saved files; ${counts.index} index lines`
);
if (problems.length > 0) {
  for (const text of problems) console.log("PROBLEM: " + text);
  process.exit(1);
}
