// Loads the page's logic into Node as the page loads it: classic scripts, in the page's order,
// each adding to one global namespace.
"use strict";
const fs = require("node:fs");
const path = require("node:path");
const vm = require("node:vm");

const dir = path.join(__dirname, "..", "..", "res", "catalogue");
const logic = ["data.js", "text.js", "columns.js", "sort.js", "search.js", "summary.js", "view-state.js", "tree.js"];

// The namespace, loaded once; its caches live in each catalogue, not in it.
function load() {
    if (!globalThis.Catalogue) {
        for (const file of logic) vm.runInThisContext(fs.readFileSync(path.join(dir, file), "utf8"), { filename: file });
    }
    return globalThis.Catalogue;
}

// The catalogue of records given as JSON lines (the head first) or as values.
function catalogue(C, records) {
    return C.parse(typeof records === "string" ? records : JSON.stringify(records));
}

const hostile = () => fs.readFileSync(path.join(__dirname, "hostile.json"), "utf8");

module.exports = { load, catalogue, hostile };
