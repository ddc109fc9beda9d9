// The catalogue's data: the records of the data element (see README.md), parsed once into
// columns. Numbers sit in typed arrays (NaN where absent), text in plain arrays, and each file
// names its folder, stream profile and album tags by index, so that a page of 500,000 files
// keeps no object per file.
(function (Catalogue) {
    "use strict";

    const FOLDER = 1, PROFILE = 2, ALBUM = 3, ROLLUP = 4, END = 5;

    function numberOr(value) {
        return typeof value === "number" ? value : NaN;
    }
    function textOr(value) {
        return typeof value === "string" ? value : null;
    }
    // `text` in lower case, for search: final sigma as sigma, since a word's case depends on
    // where it ends, and "ΑΣ" typed must find "ΑΣΑ".
    function fold(text) {
        const lowered = text.toLowerCase();
        return lowered.includes("\u03c2") ? lowered.replace(/\u03c2/g, "\u03c3") : lowered;
    }
    function lower(text) {
        return text === null ? "" : fold(text);
    }

    // The parent's path of `path` ("a/b" of "a/b/c", "" of "a").
    function parentPath(path, separator) {
        const at = path.lastIndexOf(separator);
        return at < 0 ? "" : path.slice(0, at);
    }

    // What a folder is known by: its path, or, for a path that is not valid UTF-8, its raw bytes
    // behind a NUL, which no path holds.
    function folderId(path, hex) {
        return hex ? "\0" + hex : path;
    }

    const strictUtf8 = new TextDecoder("utf-8", { fatal: true });

    // The parent of the folder (path, hex): its path and, where its bytes are not text, its raw
    // path in hexadecimal.
    function parentOf(path, hex, separator) {
        const parent = parentPath(path, separator);
        if (!hex) return [parent, null];
        const mark = separator === "\\" ? "5c" : "2f";
        let at = hex.length - 2;
        while (at >= 0 && hex.slice(at, at + 2) !== mark) at -= 2;
        const parentHex = at > 0 ? hex.slice(0, at) : "";
        const bytes = new Uint8Array(parentHex.length / 2);
        for (let k = 0; k < bytes.length; k++) bytes[k] = parseInt(parentHex.slice(2 * k, 2 * k + 2), 16);
        try {
            strictUtf8.decode(bytes);
            return [parent, null];
        } catch (e) {
            return [parent, parentHex];
        }
    }

    // The data as the program writes it: the head and each element on a line of its own, each
    // line but the last ending in a comma. Parsed a line at a time, so that the page never
    // holds every element at once (at 500,000 files they take some 200 MB more than their
    // columns); other data, in one piece.
    function parse(text) {
        const firstEnd = text.indexOf("\n");
        if (!text.startsWith("[{") || firstEnd < 0) return build(JSON.parse(text));
        let fileCount = 0;
        for (let at = firstEnd; at >= 0; at = text.indexOf("\n", at + 1)) {
            if (text.charCodeAt(at + 1) === 91 && text.charCodeAt(at + 2) === 34) fileCount++; // ["
        }
        const line = (start, end) => {
            while (end > start && (text.charCodeAt(end - 1) === 44 || text.charCodeAt(end - 1) === 13)) end--;
            return JSON.parse(text.slice(start, end));
        };
        return build({
            head: line(1, firstEnd),
            fileCount,
            forEach(use) {
                let start = firstEnd + 1;
                while (start < text.length) {
                    let end = text.indexOf("\n", start);
                    if (end < 0) end = text.length;
                    if (text.charCodeAt(start) === 91 && end - start > 1) use(line(start, end));
                    start = end + 1;
                }
            },
        });
    }

    // The elements of the data, as an array (the head first) or as the head, the count of files
    // and each other element in turn.
    function build(data) {
        if (Array.isArray(data)) {
            let fileCount = 0;
            for (const record of data) {
                if (Array.isArray(record) && typeof record[0] === "string") fileCount++;
            }
            const head = data.length && data[0] && !Array.isArray(data[0]) ? data[0] : {};
            const records = data.slice(head === data[0] ? 1 : 0);
            return build({ head, fileCount, forEach: (use) => records.forEach(use) });
        }
        const head = data.head && typeof data.head === "object" && !Array.isArray(data.head) ? data.head : {};
        const separator = head.separator === "\\" ? "\\" : "/";
        const healthWords = Array.isArray(head.health) ? head.health.filter((w) => typeof w === "string") : [];
        const healthBits = new Map(healthWords.map((word, bit) => [word, bit]));

        const fileCount = data.fileCount;
        const files = {
            count: fileCount,
            name: new Array(fileCount),
            key: new Array(fileCount), // lower-case name and title, for search and sort
            title: new Array(fileCount),
            track: new Array(fileCount),
            failure: new Array(fileCount),
            hex: new Array(fileCount),
            folder: new Int32Array(fileCount),
            profile: new Int32Array(fileCount),
            album: new Int32Array(fileCount),
            health: new Int32Array(fileCount), // bits in the order of healthWords
            mp3: new Uint8Array(fileCount),
            size: new Float64Array(fileCount),
            bitrate: new Float64Array(fileCount),
            frames: new Float64Array(fileCount),
            seconds: new Float64Array(fileCount),
            average: new Float64Array(fileCount),
            id3v2: new Float64Array(fileCount),
            padding: new Float64Array(fileCount),
            junkAt: new Float64Array(fileCount),
            verified: new Float64Array(fileCount),
            pre: new Int32Array(fileCount), // the folder's place in the tree's order
        };
        const folders = [];
        const folderByPath = new Map();
        const profiles = [];
        const albums = [];

        // A folder is known by its raw path where its text is not it (folderId), so that
        // two folders whose names differ only in bytes that are not text stay two.
        function folderOf(path, hex) {
            const id = folderId(path, hex);
            let index = folderByPath.get(id);
            if (index === undefined) {
                index = folders.length;
                folders.push({
                    index, id, path, hex: hex || null, label: path, key: fold(path), parent: -1,
                    children: [], depth: 0, pre: 0, end: 0, rollup: null, ownFiles: 0,
                });
                folderByPath.set(id, index);
            }
            return index;
        }

        let folder = -1, album = -1, file = 0, end = null;
        data.forEach((record) => {
            if (!Array.isArray(record)) return;
            switch (record[0]) {
            case FOLDER:
                folder = folderOf(textOr(record[1]) ?? "", textOr(record[2]));
                break;
            case PROFILE:
                profiles.push({
                    mpegVersion: numberOr(record[1]), layer: numberOr(record[2]),
                    sampleRate: numberOr(record[3]), channelMode: textOr(record[4]),
                    vbrHeader: textOr(record[5]), durationSource: textOr(record[6]),
                    bitrateMode: textOr(record[7]), encoder: textOr(record[8]),
                    encoderSettings: textOr(record[9]), lowpassHz: numberOr(record[10]),
                    encoderTagCrc: typeof record[11] === "boolean" ? record[11] : null,
                    encoderDelay: numberOr(record[12]),
                });
                break;
            case ALBUM: {
                const tags = {
                    artist: textOr(record[1]), album: textOr(record[2]), year: textOr(record[3]),
                    genre: textOr(record[4]), coverType: textOr(record[5]),
                    coverMime: textOr(record[6]), coverBytes: numberOr(record[7]),
                };
                tags.cover = tags.coverType !== null || tags.coverMime !== null || !isNaN(tags.coverBytes);
                tags.key = [tags.artist, tags.album, tags.year, tags.genre].map(lower).join("\0");
                album = albums.push(tags) - 1;
                break;
            }
            case END:
                // What the run met: cut short, and the folders and files it could not read.
                end = {
                    cancelled: record[1] === true, failureCount: numberOr(record[2]),
                    failures: (Array.isArray(record[3]) ? record[3] : []).filter(Array.isArray)
                        .map(([path, reason]) => ({ path: textOr(path) ?? "", reason: textOr(reason) ?? "" })),
                };
                break;
            case ROLLUP: {
                if (folder < 0) folder = folderOf("", null);
                folders[folder].rollup = {
                    files: numberOr(record[1]), mp3Files: numberOr(record[2]),
                    bytes: numberOr(record[3]), seconds: numberOr(record[4]),
                    lowestBitrate: numberOr(record[5]), averageBitrate: numberOr(record[6]),
                    findings: numberOr(record[7]), encoders: mix(record[8]), modes: mix(record[9]),
                };
                break;
            }
            default: {
                // A file: the one element whose first item is its name.
                if (typeof record[0] !== "string") break;
                if (folder < 0) folder = folderOf("", null);
                const i = file++;
                const name = record[0];
                // A number for a title is where the name holds it, just before ".mp3".
                const title = typeof record[8] === "number" ? name.slice(record[8], Math.max(record[8], name.length - 4)) : textOr(record[8]);
                files.name[i] = name;
                files.title[i] = title;
                files.key[i] = fold(title === null ? name : name + "\0" + title);
                files.track[i] = textOr(record[9]);
                files.failure[i] = textOr(record[12]);
                files.hex[i] = textOr(record[15]);
                files.folder[i] = folder;
                folders[folder].ownFiles++;
                files.size[i] = numberOr(record[1]);
                // An MP3 file always has a bitrate, 0 when it could not be read; any other file
                // has its name, size and raw path only, and no album tags.
                const mp3 = typeof record[2] === "number";
                files.mp3[i] = mp3 ? 1 : 0;
                files.album[i] = mp3 ? album : -1;
                files.bitrate[i] = numberOr(record[2]);
                const profile = record[3];
                files.profile[i] = Number.isInteger(profile) && profile >= 0 && profile < profiles.length ? profile : -1;
                files.frames[i] = numberOr(record[4]);
                files.seconds[i] = numberOr(record[5]);
                files.average[i] = numberOr(record[6]);
                files.id3v2[i] = numberOr(record[7]);
                files.padding[i] = numberOr(record[10]);
                let bits = 0;
                if (Array.isArray(record[11])) {
                    for (const word of record[11]) {
                        if (typeof word !== "string") continue;
                        let bit = healthBits.get(word);
                        if (bit === undefined && healthWords.length < 31) {
                            bit = healthWords.push(word) - 1;
                            healthBits.set(word, bit);
                        }
                        if (bit !== undefined) bits |= 1 << bit;
                    }
                }
                files.health[i] = bits;
                files.junkAt[i] = numberOr(record[13]);
                files.verified[i] = numberOr(record[14]);
                break;
            }
            }
        });
        const root = folderOf("", null);
        linkFolders(folders, folderByPath, root, separator);
        for (let i = 0; i < fileCount; i++) files.pre[i] = folders[files.folder[i]].pre;
        const catalogue = {
            head, separator, healthWords, files, folders, folderByPath, root, profiles, albums,
            base: typeof head.base === "string" ? head.base : null,
            end,
            sortCache: new Map(),
        };
        for (const f of folders) {
            if (f.rollup === null) f.rollup = rollUp(catalogue, f.index);
        }
        return catalogue;
    }

    function mix(value) {
        const out = new Map();
        if (value && typeof value === "object" && !Array.isArray(value)) {
            for (const [key, count] of Object.entries(value)) {
                if (typeof count === "number") out.set(key, count);
            }
        }
        return out;
    }

    // Each folder's parent is its nearest listed ancestor, or the top; the tree is then numbered
    // in depth-first order, so that a folder and all below it are one range [pre, end).
    function linkFolders(folders, folderByPath, root, separator) {
        for (const f of folders) {
            if (f.index === root) continue;
            let path = f.path, hex = f.hex, parent;
            do {
                [path, hex] = parentOf(path, hex, separator);
                parent = folderByPath.get(folderId(path, hex));
            } while (parent === undefined && path !== "");
            if (parent === undefined || parent === f.index) parent = root;
            f.parent = parent;
            f.label = path === "" ? f.path : f.path.slice(path.length + separator.length);
            folders[parent].children.push(f.index);
        }
        const stack = [[root, 0]];
        let counter = 0;
        const visited = new Uint8Array(folders.length);
        while (stack.length) {
            const top = stack[stack.length - 1];
            const f = folders[top[0]];
            if (top[1] === 0) {
                visited[f.index] = 1;
                f.pre = counter++;
                f.depth = stack.length - 1;
            }
            if (top[1] < f.children.length) {
                const child = f.children[top[1]++];
                if (!visited[child]) stack.push([child, 0]);
            } else {
                f.end = counter;
                stack.pop();
            }
        }
    }

    // A folder's roll-up made from its files, for a folder the data gave none.
    function rollUp(catalogue, folder) {
        const { files, profiles } = catalogue;
        const { pre: lo, end: hi } = catalogue.folders[folder];
        const r = { files: 0, mp3Files: 0, bytes: 0, seconds: 0, lowestBitrate: NaN,
                    averageBitrate: NaN, findings: 0, encoders: new Map(), modes: new Map() };
        let weighted = 0, weight = 0;
        for (let i = 0; i < files.count; i++) {
            const p = files.pre[i];
            if (p < lo || p >= hi) continue;
            r.files++;
            if (!isNaN(files.size[i])) r.bytes += files.size[i];
            if (!files.mp3[i]) continue;
            r.mp3Files++;
            const seconds = files.seconds[i];
            if (!isNaN(seconds)) r.seconds += seconds;
            const bitrate = files.bitrate[i];
            if (bitrate > 0 && !(bitrate >= r.lowestBitrate)) r.lowestBitrate = bitrate;
            if (!isNaN(files.average[i]) && seconds > 0) {
                weighted += files.average[i] * seconds;
                weight += seconds;
            }
            if (hasFinding(catalogue, i)) r.findings++;
            const profile = files.profile[i] >= 0 ? profiles[files.profile[i]] : null;
            const encoder = (profile && profile.encoder) || "";
            const mode = (profile && profile.bitrateMode) || "";
            r.encoders.set(encoder, (r.encoders.get(encoder) || 0) + 1);
            r.modes.set(mode, (r.modes.get(mode) || 0) + 1);
        }
        if (weight > 0) r.averageBitrate = Math.round(weighted / weight);
        r.seconds = Math.round(r.seconds * 1000) / 1000;
        return r;
    }

    // The folder `index` and its ancestors up to the top, the top first.
    function ancestors(catalogue, index) {
        const out = [];
        for (let f = index; f >= 0; f = catalogue.folders[f].parent) out.unshift(f);
        return out;
    }

    // An MP3 file by name in which no frame was found: no audio, whatever else it holds.
    function noAudio(catalogue, i) {
        const f = catalogue.files;
        return f.mp3[i] === 1 && f.profile[i] < 0 && f.failure[i] === null;
    }

    function hasFinding(catalogue, i) {
        return catalogue.files.health[i] !== 0 || catalogue.files.failure[i] !== null ||
            noAudio(catalogue, i);
    }

    function healthText(catalogue, i) {
        const words = [];
        const bits = catalogue.files.health[i];
        catalogue.healthWords.forEach((word, bit) => {
            if (bits & (1 << bit)) words.push(word);
        });
        return words;
    }

    Object.assign(Catalogue, { fold, folderId, parse, build, parentPath, rollUp, ancestors, noAudio, hasFinding, healthText });
})(globalThis.Catalogue = globalThis.Catalogue || {});
