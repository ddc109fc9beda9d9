// Which files are in view: those of the folder chosen and all below it that match the search
// and the filters. A search term matches a file's name or title, its folder's path or its album
// tags (artist, album, year, genre); a file must match every term. Folders and album tags are
// matched once each, not once per file.
(function (Catalogue) {
    "use strict";

    const C = Catalogue;

    // The search's terms, in lower case: words, or "quoted phrases".
    function searchTerms(query) {
        const terms = [];
        const re = /"([^"]*)"?|(\S+)/g;
        for (let m; (m = re.exec(query || "")) !== null; ) {
            const term = C.fold(m[1] !== undefined ? m[1] : m[2]);
            if (term !== "") terms.push(term);
        }
        return terms;
    }

    function marks(records, test) {
        const out = new Uint8Array(records.length + 1); // [0] for "none", so index + 1
        for (let i = 0; i < records.length; i++) out[i + 1] = test(records[i]) ? 1 : 0;
        return out;
    }

    // The encoders and presets the files have, for the filter's choices: "e:" and "p:" values.
    function encoderChoices(cat) {
        const counts = new Map();
        const perProfile = new Int32Array(cat.profiles.length);
        for (let i = 0; i < cat.files.count; i++) if (cat.files.profile[i] >= 0) perProfile[cat.files.profile[i]]++;
        cat.profiles.forEach((p, i) => {
            for (const [prefix, text] of [["e:", p.encoder], ["p:", p.encoderSettings]]) {
                if (text === null || text === "") continue;
                counts.set(prefix + text, (counts.get(prefix + text) || 0) + perProfile[i]);
            }
        });
        return [...counts].sort((a, b) => b[1] - a[1] || (a[0] < b[0] ? -1 : 1))
            .map(([value, count]) => ({ value, kind: value[0] === "e" ? "encoder" : "preset", text: value.slice(2), count }));
    }

    // A test of file `i` for the view's search and filters; null when every file passes.
    function fileTest(cat, view) {
        const f = cat.files;
        const tests = [];
        for (const term of searchTerms(view.q)) {
            const inFolder = marks(cat.folders, (d) => d.key.includes(term));
            const inAlbum = marks(cat.albums, (a) => a.key.includes(term));
            tests.push((i) => inFolder[f.folder[i] + 1] === 1 || inAlbum[f.album[i] + 1] === 1 || f.key[i].includes(term));
        }
        if (view.below > 0) {
            const below = view.below;
            tests.push((i) => f.mp3[i] === 1 && f.bitrate[i] > 0 && f.bitrate[i] < below);
        }
        if (view.mode) {
            const want = view.mode === "unknown" ? null : view.mode;
            const ok = marks(cat.profiles, (p) => p.bitrateMode === want);
            ok[0] = want === null ? 1 : 0;
            tests.push((i) => f.mp3[i] === 1 && ok[f.profile[i] + 1] === 1);
        }
        if (view.enc) {
            const text = view.enc.slice(2);
            const field = view.enc.startsWith("p:") ? "encoderSettings" : "encoder";
            const ok = marks(cat.profiles, (p) => p[field] === text);
            tests.push((i) => ok[f.profile[i] + 1] === 1);
        }
        if (view.health) {
            const word = view.health;
            if (word === "any") tests.push((i) => C.hasFinding(cat, i));
            else if (word === "none") tests.push((i) => f.mp3[i] === 1 && !C.hasFinding(cat, i));
            else if (word === "failure") tests.push((i) => f.failure[i] !== null);
            else if (word === "noaudio") tests.push((i) => C.noAudio(cat, i));
            else {
                const bit = cat.healthWords.indexOf(word);
                const mask = bit < 0 ? 0 : 1 << bit;
                tests.push((i) => (f.health[i] & mask) !== 0);
            }
        }
        if (view.nocover) {
            const covered = marks(cat.albums, (a) => a.cover);
            tests.push((i) => f.mp3[i] === 1 && covered[f.album[i] + 1] === 0);
        }
        if (tests.length === 0) return null;
        if (tests.length === 1) return tests[0];
        return (i) => {
            for (let t = 0; t < tests.length; t++) if (!tests[t](i)) return false;
            return true;
        };
    }

    // The files of `order` in view: in folder `folder` or below it, and passing the filters.
    function selectFiles(cat, order, folder, view) {
        const d = cat.folders[folder >= 0 && folder < cat.folders.length ? folder : cat.root];
        const lo = d.pre, hi = d.end;
        const pre = cat.files.pre;
        const test = fileTest(cat, view);
        const whole = d.index === cat.root;
        const within = (i) => whole || (pre[i] >= lo && pre[i] < hi);
        let passes = test;
        if (test !== null && order.length > cat.files.count / 8) {
            // Tested in the files' own order, where their columns are read straight through,
            // then taken in the order asked for: a sorted order jumps about the columns.
            const pass = new Uint8Array(cat.files.count);
            for (let i = 0; i < pass.length; i++) pass[i] = within(i) && test(i) ? 1 : 0;
            passes = (i) => pass[i] === 1;
        }
        const out = new Int32Array(order.length);
        let m = 0;
        for (let k = 0; k < order.length; k++) {
            const i = order[k];
            if (!within(i) || (passes !== null && !passes(i))) continue;
            out[m++] = i;
        }
        return out.subarray(0, m);
    }

    Object.assign(Catalogue, { searchTerms, fileTest, selectFiles, encoderChoices });
})(globalThis.Catalogue = globalThis.Catalogue || {});
