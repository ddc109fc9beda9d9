"use strict";
const test = require("node:test");
const assert = require("node:assert/strict");
const { load, catalogue, hostile } = require("./load.js");

const C = load();
const head = { catalogue: 1, folder: "/m", separator: "/", base: "", health: ["cut-short", "frame-crc"] };

test("every kind of record lands in its column", () => {
    const cat = C.parse(hostile());
    const f = cat.files;
    assert.equal(f.count, 13);
    // A title given by where the name holds it, and one given as text.
    assert.equal(f.title[0], "Dawn");
    assert.equal(f.title[1], "Zenith");
    assert.equal(f.title[2], "<script>alert(2)</script>");
    // Trailing nulls left out read as absent.
    assert.ok(Number.isNaN(f.junkAt[0]));
    assert.equal(f.failure[0], null);
    assert.equal(f.padding[0], 1008);
    assert.equal(f.verified[2], 4990);
    assert.deepEqual(C.healthText(cat, 2), ["cut-short"]);
    assert.equal(f.failure[6], "read error at 1200 & beyond");
    // The profile and the album tags each file names.
    assert.equal(cat.profiles[f.profile[0]].encoderSettings, "-V 2");
    assert.equal(cat.profiles[f.profile[0]].encoderDelay, 576);
    assert.equal(cat.profiles[2].vbrHeader, null);
    assert.equal(f.profile[11], -1);
    assert.equal(cat.albums[f.album[10]].artist, "Nobody", "album tags hold into the next folder");
    assert.equal(cat.albums[f.album[7]].cover, false);
    assert.equal(cat.albums[f.album[0]].coverBytes, 48213);
});

test("a file that is not an MP3 file has its name, size and raw path, and no tags", () => {
    const cat = C.parse(hostile());
    const f = cat.files;
    const jpg = f.name.indexOf("bad \ufffd.jpg");
    assert.equal(f.mp3[jpg], 0);
    assert.equal(f.size[jpg], 1000);
    assert.match(f.hex[jpg], /80ff2e6a7067$/);
    assert.equal(f.album[jpg], -1);
    assert.equal(f.mp3[f.name.indexOf("cover.jpg")], 0);
    assert.equal(f.mp3[f.name.indexOf("unreadable.mp3")], 1, "an MP3 file whose bitrate is 0");
});

test("roll-ups belong to the folder before them, and folders hang from their nearest listed ancestor", () => {
    const cat = C.parse(hostile());
    const folder = (path) => cat.folders[cat.folderByPath.get(path)];
    assert.equal(folder("Alpha Band/First Light").rollup.files, 5);
    assert.equal(folder("Alpha Band").rollup.mp3Files, 7);
    assert.equal(folder("").rollup.findings, 4);
    assert.deepEqual([...folder("Alpha Band").rollup.encoders], [["LAME3.100", 4], ["LAME3.99r", 3]]);
    assert.equal(folder("Alpha Band/First Light").parent, folder("Alpha Band").index);
    // Neither "Orphan" nor "Orphan/Deep" is listed.
    assert.equal(folder("Orphan/Deep/Down").parent, cat.root);
    assert.equal(folder("Orphan/Deep/Down").label, "Orphan/Deep/Down");
    assert.equal(folder("Alpha Band/Singles <!-- x").label, "Singles <!-- x");
    // A folder and all below it are one range of the tree's order.
    const band = folder("Alpha Band");
    for (const path of ["Alpha Band/First Light", "Alpha Band/Singles <!-- x"]) {
        assert.ok(folder(path).pre > band.pre && folder(path).pre < band.end);
    }
    assert.ok(folder("Orphan/Deep/Down").pre >= band.end);
});

test("a missing parent in the middle, a missing top and a missing roll-up", () => {
    const cat = catalogue(C, [
        { ...head, separator: "\\" },
        [1, "a\\b\\c"], ["x.mp3", 10, 128, null], [1, "a"], ["y.mp3", 20, 0],
    ]);
    const c = cat.folders[cat.folderByPath.get("a\\b\\c")];
    assert.equal(cat.folders[c.parent].path, "a");
    assert.equal(c.label, "b\\c");
    assert.equal(cat.folders[cat.root].path, "");
    // Made from the files when the data gives none.
    const top = cat.folders[cat.root].rollup;
    assert.equal(top.files, 2);
    assert.equal(top.bytes, 30);
    assert.equal(top.lowestBitrate, 128);
    assert.deepEqual([...top.modes], [["", 2]]);
});

test("health words not in the head still count", () => {
    const cat = catalogue(C, [head, [1, ""], ["x.mp3", 1, 128, null, null, null, null, null, null, null, null, ["frame-crc", "new-word"]]]);
    assert.deepEqual(C.healthText(cat, 0), ["frame-crc", "new-word"]);
});

test("the data read a line at a time is the data read whole", () => {
    const byLines = C.parse(hostile());
    const whole = C.parse(JSON.stringify(JSON.parse(hostile())));
    for (const column of Object.keys(whole.files)) assert.deepEqual(byLines.files[column], whole.files[column], column);
    assert.deepEqual(byLines.folders.map((f) => [f.id, f.rollup, f.pre, f.end]), whole.folders.map((f) => [f.id, f.rollup, f.pre, f.end]));
    assert.deepEqual([byLines.head, byLines.profiles, byLines.albums], [whole.head, whole.profiles, whole.albums]);
});
