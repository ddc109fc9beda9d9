"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { load, catalogue, hostile } = require("./load.js");

const C = load();
const names = (cat, indices) => Array.from(indices, (i) => cat.files.name[i]);
const view = (changes) => Object.assign(C.defaultView(), changes);
const inView = (cat, changes, folder = cat.root, sort = "", desc = false) =>
    names(cat, C.selectFiles(cat, C.sortOrder(cat, sort, desc), folder, view(changes)));

test("search matches names, titles, folders and album tags, any case, every term", () => {
    const cat = C.parse(hostile());
    assert.deepEqual(inView(cat, { q: "DAWN" }), ["01 Dawn.mp3"]);
    assert.deepEqual(inView(cat, { q: "alert(2)" }), ["03 </script><img src=x onerror=alert(1)>.mp3"], "by title");
    assert.deepEqual(inView(cat, { q: "speech" }), ["talk.mp3", "unreadable.mp3"], "by genre");
    assert.equal(inView(cat, { q: "singles" }).length, 5, "by folder, MP3 or not");
    assert.deepEqual(inView(cat, { q: "first zen" }), ["02 Zenith.mp3"]);
    assert.deepEqual(inView(cat, { q: '"light 0"' }), [], "a phrase across name and folder");
    assert.deepEqual(inView(cat, { q: "\u202e" }), ["song\u202e3pm.exe"]);
});

test("filters alone and together, within the folder chosen", () => {
    const cat = C.parse(hostile());
    assert.deepEqual(inView(cat, { below: 128 }), ["talk.mp3"], "a bitrate of 0 is no bitrate");
    assert.equal(inView(cat, { mode: "VBR" }).length, 4);
    assert.deepEqual(inView(cat, { mode: "unknown" }), ["unreadable.mp3"]);
    assert.equal(inView(cat, { enc: "e:LAME3.99r" }).length, 3);
    assert.equal(inView(cat, { enc: "p:-V 2" }).length, 4);
    assert.deepEqual(inView(cat, { health: "any" }), ["03 </script><img src=x onerror=alert(1)>.mp3",
        "line\u2028break \u2029para.mp3", "talk.mp3", "unreadable.mp3"]);
    assert.deepEqual(inView(cat, { health: "frame-crc" }), ["line\u2028break \u2029para.mp3"]);
    assert.deepEqual(inView(cat, { health: "failure" }), ["line\u2028break \u2029para.mp3", "unreadable.mp3"]);
    assert.equal(inView(cat, { health: "none" }).length, 5);
    assert.deepEqual(inView(cat, { nocover: true, mode: "CBR", health: "any" }), ["line\u2028break \u2029para.mp3", "talk.mp3"]);
    const band = cat.folderByPath.get("Alpha Band");
    assert.deepEqual(inView(cat, { health: "any" }, band), ["03 </script><img src=x onerror=alert(1)>.mp3", "line\u2028break \u2029para.mp3"]);
    assert.equal(inView(cat, {}, cat.folderByPath.get("Alpha Band/First Light")).length, 5);
});

test("sorting: numbers, text, absent last either way, ties in walk order", () => {
    const cat = catalogue(C, [
        { catalogue: 1, folder: "m", separator: "/", base: "" },
        [1, "b"], [2, 1, 3, 44100, "stereo", null, "frames", "CBR"], [3, "Zed"],
        ["c.mp3", 3, 128, 0], ["B.mp3", 1, 320, 0], ["a.mp3", null, 128, 0], ["d.txt", 2],
        [1, "a"], [3, "alpha"], ["e.mp3", 5, 64, 0],
    ]);
    const sorted = (id, desc) => names(cat, C.sortOrder(cat, id, desc));
    assert.deepEqual(sorted("bitrate", false), ["e.mp3", "c.mp3", "a.mp3", "B.mp3", "d.txt"]);
    assert.deepEqual(sorted("bitrate", true), ["B.mp3", "c.mp3", "a.mp3", "e.mp3", "d.txt"]);
    assert.deepEqual(sorted("size", false), ["B.mp3", "d.txt", "c.mp3", "e.mp3", "a.mp3"]);
    assert.deepEqual(sorted("size", true), ["e.mp3", "c.mp3", "d.txt", "B.mp3", "a.mp3"]);
    assert.deepEqual(sorted("name", false), ["a.mp3", "B.mp3", "c.mp3", "d.txt", "e.mp3"]);
    assert.deepEqual(sorted("name", true), ["e.mp3", "d.txt", "c.mp3", "B.mp3", "a.mp3"]);
    // Shared values rank by their text; files without album tags come last.
    assert.deepEqual(sorted("artist", false), ["e.mp3", "c.mp3", "B.mp3", "a.mp3", "d.txt"]);
    assert.deepEqual(sorted("folder", false), ["e.mp3", "c.mp3", "B.mp3", "a.mp3", "d.txt"]);
    assert.deepEqual(sorted("", false), ["c.mp3", "B.mp3", "a.mp3", "d.txt", "e.mp3"]);
    assert.equal(C.sortOrder(cat, "size", true), C.sortOrder(cat, "size", true), "kept");
});

test("summary: totals, bitrate bins and mixes of the files given", () => {
    const cat = C.parse(hostile());
    const s = C.summarize(cat, C.sortOrder(cat, "", false));
    assert.equal(s.files, 13);
    assert.equal(s.mp3Files, 9);
    assert.equal(s.findings, 4);
    assert.equal(s.noBitrate, 1);
    assert.deepEqual(C.binLabels().length, s.bins.length);
    assert.equal(C.binOf(63), 0);
    assert.equal(C.binOf(64), 1);
    assert.equal(C.binOf(319), 8);
    assert.equal(C.binOf(320), 9);
    // By average bitrate: 32, then 128 ×3, 180, 199, 208, 230.
    assert.deepEqual(s.bins, [1, 0, 0, 3, 1, 2, 1, 0, 0, 0]);
    assert.deepEqual([...s.presets], [["-V 2", 4], ["-b 128", 3], ["(none)", 1]]);
    assert.deepEqual([...s.encoders], [["(no profile)", 1], ["LAME3.100", 4], ["LAME3.99r", 3], ["(no encoder tag)", 1]]);
    assert.deepEqual([...s.rates], [["44100 Hz", 7], ["22050 Hz", 1]]);
    assert.deepEqual(C.topEntries(new Map([["a", 1], ["b", 5], ["c", 3], ["d", 2]]), 3), [["b", 5], ["c", 3], ["other", 3]]);
});

test("the view survives the fragment, hostile text and all", () => {
    const hostileText = "</script><img src=x onerror=alert(1)>&q=1#x \u202e\u2028 %41+";
    const v = view({ folder: "Alpha Band/Singles <!-- x" + hostileText, q: hostileText, below: 160, mode: "VBR",
                     enc: "p:-V 2&x=1", health: "frame-crc", nocover: true, sort: "artist", desc: true,
                     cols: ["name", "failure", "bitrate"], tree: "findings" });
    const hash = C.encodeView(v);
    assert.doesNotMatch(hash, /[<>#\s\u202e]/);
    assert.deepEqual(C.decodeView("#" + hash), v);
    assert.equal(C.encodeView(C.defaultView()), "");
    // What a fragment says wrong is left at the default.
    const odd = C.decodeView("sort=-nonesuch&cols=bogus,name,name&mode=XYZ&below=-3&tree=up&enc=zz");
    assert.deepEqual(odd, view({ cols: ["name"] }));
});

test("the tree's rows, orders and keys", () => {
    const cat = C.parse(hostile());
    const open = new Uint8Array(cat.folders.length);
    open[cat.root] = 1;
    const paths = (rows) => Array.from(rows, (f) => cat.folders[f].path);
    assert.deepEqual(paths(C.treeRows(cat, open, "walk")), ["", "Alpha Band", "Orphan/Deep/Down"]);
    assert.deepEqual(paths(C.treeRows(cat, open, "bitrate")), ["", "Orphan/Deep/Down", "Alpha Band"]);
    const band = cat.folderByPath.get("Alpha Band/Singles <!-- x");
    C.reveal(cat, open, band);
    const rows = C.treeRows(cat, open, "name");
    assert.deepEqual(paths(rows), ["", "Alpha Band", "Alpha Band/First Light", "Alpha Band/Singles <!-- x", "Orphan/Deep/Down"]);
    assert.deepEqual(C.treeKey(cat, rows, 1, "ArrowLeft", open, 10), { at: 1, close: rows[1] });
    assert.deepEqual(C.treeKey(cat, rows, 3, "ArrowLeft", open, 10), { at: 1 }, "to the parent");
    assert.deepEqual(C.treeKey(cat, rows, 4, "ArrowDown", open, 10), { at: 4 });
    assert.deepEqual(C.treeKey(cat, rows, 2, "Enter", open, 10), { at: 2, select: rows[2] });
    open[rows[1]] = 0;
    assert.deepEqual(C.treeKey(cat, rows, 1, "ArrowRight", open, 10), { at: 1, open: rows[1] });
});

test("folders that differ only in bytes that are not text stay apart, each with its files and links", () => {
    const cat = catalogue(C, [
        { catalogue: 1, folder: "m", separator: "/", base: "" },
        [1, "\ufffd/in", "802f696e"], ["deep.mp3", 1, 128, null], [4, 1, 1, 1, 0, null, null, 1, {}, {}],
        [1, "\ufffd", "80"], ["one.mp3", 1, 128, null], [4, 2, 2, 2, 0, null, null, 2, {}, {}],
        [1, "\ufffd", "81"], ["two.mp3", 2, 128, null], [4, 1, 1, 2, 0, null, null, 1, {}, {}],
        [1, "\ufffd"], ["three.mp3", 3, 128, null], [4, 1, 1, 3, 0, null, null, 1, {}, {}],
        [1, ""], [4, 4, 4, 7, 0, null, null, 4, {}, {}],
    ]);
    const top = cat.folders[cat.root].children.map((f) => cat.folders[f]);
    assert.deepEqual(top.map((f) => f.rollup.bytes), [2, 2, 3]);
    assert.deepEqual(inView(cat, {}, top[0].index), ["deep.mp3", "one.mp3"]);
    assert.deepEqual(inView(cat, {}, top[1].index), ["two.mp3"]);
    const href = (name) => C.fileHref(cat, cat.files.name.indexOf(name));
    assert.deepEqual(["one.mp3", "deep.mp3", "two.mp3", "three.mp3"].map(href),
        ["%80/one.mp3", "%80/in/deep.mp3", "%81/two.mp3", "%EF%BF%BD/three.mp3"]);
    assert.equal(cat.folderByPath.get(C.decodeView(C.encodeView(view({ folder: top[1].id }))).folder), top[1].index);
});

test("an MP3 file without audio is a finding, and its folder the worst", () => {
    const cat = catalogue(C, [
        { catalogue: 1, folder: "m", separator: "/", base: "" },
        [1, "good"], [2, 1, 3, 44100, "stereo", null, "frames", "CBR"], ["a.mp3", 9, 64, 0],
        [4, 1, 1, 9, 0, 64, 64, 0, {}, {}],
        [1, "empty"], ["b.mp3", 500000, 0], [4, 1, 1, 500000, 0, null, null, 1, {}, {}],
        [1, ""], [4, 2, 2, 500009, 0, 64, 64, 1, {}, {}],
    ]);
    assert.deepEqual(inView(cat, { health: "any" }), ["b.mp3"]);
    assert.deepEqual(inView(cat, { health: "noaudio" }), ["b.mp3"]);
    assert.deepEqual(inView(cat, { health: "none" }), ["a.mp3"]);
    const rows = Array.from(C.treeRows(cat, { [cat.root]: 1 }, "bitrate").slice(1), (f) => cat.folders[f].path);
    assert.deepEqual(rows, ["empty", "good"]);
});

test("a word typed in capitals finds it whatever its last letter's case: final sigma", () => {
    const cat = catalogue(C, [
        { catalogue: 1, folder: "m", separator: "/" }, [1, ""], ["ΑΣΑ.mp3", 1, 128, null],
    ]);
    for (const q of ["Α", "ΑΣ", "ΑΣΑ", "ας"]) assert.deepEqual(inView(cat, { q }), ["ΑΣΑ.mp3"], q);
});
