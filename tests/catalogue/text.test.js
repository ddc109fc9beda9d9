"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { load, catalogue, hostile } = require("./load.js");

const C = load();

test("addresses: each name percent-encoded, from its raw bytes where given", () => {
    const cat = C.parse(hostile());
    const href = (name) => C.fileHref(cat, cat.files.name.indexOf(name));
    assert.equal(href("01 Dawn.mp3"), "../music/Alpha%20Band/First%20Light/01%20Dawn.mp3");
    assert.equal(href("03 </script><img src=x onerror=alert(1)>.mp3"),
        "../music/Alpha%20Band/First%20Light/03%20%3C%2Fscript%3E%3Cimg%20src%3Dx%20onerror%3Dalert%281%29%3E.mp3");
    assert.equal(href("bad \ufffd byte.mp3"), "../music/Alpha%20Band/Singles%20%3C%21--%20x/bad%20%9F%20byte.mp3");
    assert.equal(href("song\u202e3pm.exe"), "../music/Alpha%20Band/Singles%20%3C%21--%20x/song%E2%80%AE3pm.exe");
    assert.equal(href("readme.txt"), "../music/readme.txt");
    assert.equal(href("talk.mp3"), "../music/Orphan/Deep/Down/talk.mp3");
});

test("addresses from a folder's raw bytes, with the other separator, and none without a base", () => {
    const records = [{ catalogue: 1, folder: "m", separator: "\\", base: "" },
        [1, "a\\b\ufffd", "615c62ff"], ["x y.mp3", 1, 128], [1, "c"], ["#?%.mp3", 1, 128]];
    const cat = catalogue(C, records);
    assert.equal(C.fileHref(cat, 0), "a/b%FF/x%20y.mp3");
    assert.equal(C.fileHref(cat, 1), "c/%23%3F%25.mp3");
    delete records[0].base;
    assert.equal(C.fileHref(catalogue(C, records), 0), null);
});

test("hidden and reordering characters show as markers", () => {
    assert.deepEqual(C.nameParts("song\u202e3pm.exe"), [{ text: "song" }, { mark: "U+202E" }, { text: "3pm.exe" }]);
    assert.deepEqual(C.nameParts("\u2066a\u2069\u200f\n"), [{ mark: "U+2066" }, { text: "a" }, { mark: "U+2069" }, { mark: "U+200F" }, { mark: "U+000A" }]);
    assert.deepEqual(C.nameParts("plain \u05e9\u05dc\u05d5\u05dd \ud83d\udc68\u200d\ud83d\udc69.mp3"), [{ text: "plain \u05e9\u05dc\u05d5\u05dd \ud83d\udc68\u200d\ud83d\udc69.mp3" }], "joiners and other scripts stay");
    assert.deepEqual(C.nameParts(""), [{ text: "" }]);
    assert.equal(C.plainName("a\u2028b\u202a"), "a\u27e8U+2028\u27e9b\u27e8U+202A\u27e9");
});

test("sizes and times as shown", () => {
    assert.equal(C.formatBytes(1000), "1000 B");
    assert.equal(C.formatBytes(5201234), "4.96 MB");
    assert.equal(C.formatDuration(200.5), "3:21");
    assert.equal(C.formatDuration(3 * 3600 + 62), "3:01:02");
    assert.equal(C.formatDuration(NaN), "");
});
