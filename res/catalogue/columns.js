// The table's columns: what each shows of a file and what it sorts by. A column's value comes
// from the file itself or from a record it shares (its folder, stream profile or album tags),
// so that sorting by a shared value ranks a few hundred records, not every file.
(function (Catalogue) {
    "use strict";

    const C = Catalogue;
    const MPEG = { 1: "1", 2: "2", 2.5: "2.5" };
    const LAYER = { 1: "I", 2: "II", 3: "III" };

    function profileOf(cat, i) {
        const p = cat.files.profile[i];
        return p >= 0 ? cat.profiles[p] : null;
    }
    function albumOf(cat, i) {
        const a = cat.files.album[i];
        return a >= 0 ? cat.albums[a] : null;
    }
    function modeAndPreset(p) {
        if (p.bitrateMode === null && p.encoderSettings === null) return null;
        return [p.bitrateMode, p.encoderSettings].filter((t) => t !== null && t !== "").join(" ");
    }
    function healthOf(cat, i) {
        const words = C.healthText(cat, i);
        if (cat.files.failure[i] !== null) words.push("failure");
        if (C.noAudio(cat, i)) words.push("no audio");
        return words.length ? words.join(", ") : null;
    }
    function leadingNumber(text) {
        const m = /^\s*(\d+)/.exec(text || "");
        return m ? Number(m[1]) : NaN;
    }
    function coverText(a) {
        if (!a || !a.cover) return null;
        return [a.coverType, a.coverMime, isNaN(a.coverBytes) ? null : C.formatBytes(a.coverBytes)]
            .filter((t) => t !== null).join(", ");
    }
    function yesNo(value) {
        return value === null ? null : value ? "yes" : "no";
    }

    // via: where the value lives; value(cat, i) for a file's own, value(record) for a shared one.
    // text: how it shows, from the value. shown: in the table unless chosen otherwise.
    const num = (n) => C.formatNumber(n);
    const columns = [
        { id: "name", label: "Name", width: 280, via: "file", kind: "str", shown: true,
          value: (cat, i) => cat.files.key[i] },
        { id: "folder", label: "Folder", width: 220, via: "folder", kind: "str", shown: true,
          value: (f) => f.key, text: (cat, i) => cat.folders[cat.files.folder[i]].path },
        { id: "bitrate", label: "Bitrate", width: 64, via: "file", kind: "num", shown: true,
          value: (cat, i) => cat.files.bitrate[i] },
        { id: "average", label: "Average", width: 64, via: "file", kind: "num", shown: true,
          value: (cat, i) => cat.files.average[i] },
        { id: "mode", label: "Mode and preset", width: 130, via: "profile", kind: "str", shown: true,
          value: modeAndPreset },
        { id: "time", label: "Time", width: 64, via: "file", kind: "num", shown: true,
          value: (cat, i) => cat.files.seconds[i], format: C.formatDuration },
        { id: "size", label: "Size", width: 76, via: "file", kind: "num", shown: true,
          value: (cat, i) => cat.files.size[i], format: C.formatBytes },
        { id: "rate", label: "Sample rate", width: 80, via: "profile", kind: "num", shown: true,
          value: (p) => p.sampleRate },
        { id: "channels", label: "Channels", width: 100, via: "profile", kind: "str", shown: true,
          value: (p) => p.channelMode },
        { id: "artist", label: "Artist", width: 150, via: "album", kind: "str", shown: true,
          value: (a) => a.artist },
        { id: "album", label: "Album", width: 150, via: "album", kind: "str", shown: true,
          value: (a) => a.album },
        { id: "title", label: "Title", width: 180, via: "file", kind: "str", shown: true,
          value: (cat, i) => cat.files.title[i] },
        { id: "track", label: "Track", width: 56, via: "file", kind: "num", shown: true,
          value: (cat, i) => leadingNumber(cat.files.track[i]), text: (cat, i) => cat.files.track[i] },
        { id: "year", label: "Year", width: 56, via: "album", kind: "str", shown: true,
          value: (a) => a.year },
        { id: "health", label: "Health", width: 160, via: "file", kind: "str", shown: true,
          value: healthOf },
        { id: "genre", label: "Genre", width: 100, via: "album", kind: "str", value: (a) => a.genre },
        { id: "encoder", label: "Encoder", width: 100, via: "profile", kind: "str", value: (p) => p.encoder },
        { id: "preset", label: "Preset", width: 100, via: "profile", kind: "str", value: (p) => p.encoderSettings },
        { id: "bitrateMode", label: "Bitrate mode", width: 64, via: "profile", kind: "str", value: (p) => p.bitrateMode },
        { id: "mpeg", label: "MPEG", width: 80, via: "profile", kind: "str",
          value: (p) => isNaN(p.mpegVersion) ? null : (MPEG[p.mpegVersion] || p.mpegVersion) + " layer " + (LAYER[p.layer] || p.layer) },
        { id: "lowpass", label: "Lowpass", width: 70, via: "profile", kind: "num", value: (p) => p.lowpassHz },
        { id: "vbrHeader", label: "VBR header", width: 70, via: "profile", kind: "str", value: (p) => p.vbrHeader },
        { id: "durationSource", label: "Time from", width: 70, via: "profile", kind: "str", value: (p) => p.durationSource },
        { id: "tagCrc", label: "Tag CRC", width: 60, via: "profile", kind: "str", value: (p) => yesNo(p.encoderTagCrc) },
        { id: "frames", label: "Frames", width: 70, via: "file", kind: "num", value: (cat, i) => cat.files.frames[i] },
        { id: "verified", label: "Verified frames", width: 70, via: "file", kind: "num", value: (cat, i) => cat.files.verified[i] },
        { id: "delay", label: "Delay", width: 56, via: "profile", kind: "num", value: (p) => p.encoderDelay },
        { id: "padding", label: "Padding", width: 60, via: "file", kind: "num", value: (cat, i) => cat.files.padding[i] },
        { id: "id3v2", label: "ID3v2 size", width: 76, via: "file", kind: "num", value: (cat, i) => cat.files.id3v2[i], format: C.formatBytes },
        { id: "junkAt", label: "Junk inside at", width: 80, via: "file", kind: "num", value: (cat, i) => cat.files.junkAt[i] },
        { id: "failure", label: "Failure", width: 200, via: "file", kind: "str", value: (cat, i) => cat.files.failure[i] },
        { id: "cover", label: "Cover", width: 160, via: "album", kind: "str", value: coverText },
    ];
    const columnById = new Map(columns.map((c) => [c.id, c]));
    const defaultColumns = columns.filter((c) => c.shown).map((c) => c.id);

    // The value of column `column` for file `i`: text, a number, or null/NaN when absent.
    function cellValue(cat, column, i) {
        switch (column.via) {
        case "file": return column.value(cat, i);
        case "folder": return column.value(cat.folders[cat.files.folder[i]]);
        case "profile": { const p = profileOf(cat, i); return p ? column.value(p) : null; }
        case "album": { const a = albumOf(cat, i); return a ? column.value(a) : null; }
        }
        return null;
    }

    // What the cell shows, as text.
    function cellText(cat, column, i) {
        if (column.id === "name") return cat.files.name[i];
        if (column.text) return column.text(cat, i) ?? "";
        const value = cellValue(cat, column, i);
        if (value === null || value === undefined) return "";
        if (typeof value === "number") return isNaN(value) ? "" : column.format ? column.format(value) : String(value);
        return value;
    }

    Object.assign(Catalogue, { columns, columnById, defaultColumns, cellValue, cellText, profileOf, albumOf, modeAndPreset });
})(globalThis.Catalogue = globalThis.Catalogue || {});
