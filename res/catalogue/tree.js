// The folder tree: its rows as shown (the open folders' children, in the order chosen) and the
// moves of its keyboard. The rows are folder indices; the page draws only those in sight.
(function (Catalogue) {
    "use strict";

    function byLabel(folders) {
        return (a, b) => {
            const x = folders[a].label.toLowerCase(), y = folders[b].label.toLowerCase();
            return x < y ? -1 : x > y ? 1 : a - b;
        };
    }

    // Worst first: the lowest bitrate, then the most findings. A folder of MP3 files none of
    // which has audio is the worst; a folder without MP3 files comes last.
    function byBitrate(folders) {
        const name = byLabel(folders);
        const lowest = (f) => {
            const r = folders[f].rollup;
            return isNaN(r.lowestBitrate) && r.mp3Files > 0 ? -1 : r.lowestBitrate;
        };
        return (a, b) => {
            const x = lowest(a), y = lowest(b);
            if (x < y) return -1;
            if (x > y) return 1;
            if (isNaN(x) !== isNaN(y)) return isNaN(x) ? 1 : -1;
            return folders[b].rollup.findings - folders[a].rollup.findings || name(a, b);
        };
    }

    function byFindings(folders) {
        const bitrate = byBitrate(folders);
        return (a, b) => (folders[b].rollup.findings || 0) - (folders[a].rollup.findings || 0) || bitrate(a, b);
    }

    // The children of `folder` in `order` ("walk", "name", "bitrate" or "findings").
    function childrenInOrder(cat, folder, order) {
        const children = cat.folders[folder].children;
        if (order === "walk" || children.length < 2) return children;
        cat.childCache = cat.childCache || new Map();
        const key = order + ":" + folder;
        let sorted = cat.childCache.get(key);
        if (!sorted) {
            const compare = order === "name" ? byLabel(cat.folders) : order === "findings" ? byFindings(cat.folders) : byBitrate(cat.folders);
            sorted = children.slice().sort(compare);
            cat.childCache.set(key, sorted);
        }
        return sorted;
    }

    // The rows of the tree: the top, then every folder whose parent is open, depth first.
    function treeRows(cat, open, order) {
        const rows = [];
        const stack = [cat.root];
        while (stack.length) {
            const f = stack.pop();
            rows.push(f);
            if (!open[f]) continue;
            const children = childrenInOrder(cat, f, order);
            for (let c = children.length - 1; c >= 0; c--) stack.push(children[c]);
        }
        return Int32Array.from(rows);
    }

    // Opens the folders above `folder`, so that its row is in the tree.
    function reveal(cat, open, folder) {
        for (let f = cat.folders[folder].parent; f >= 0; f = cat.folders[f].parent) open[f] = 1;
    }

    // What key `key` does at row `at` of `rows`: {at} the row to move to, {open, close} a
    // folder to open or close, {select} the folder to show. `page` is the rows in sight.
    function treeKey(cat, rows, at, key, open, page) {
        const f = rows[at];
        const folder = cat.folders[f];
        const last = rows.length - 1;
        switch (key) {
        case "ArrowDown": return { at: Math.min(at + 1, last) };
        case "ArrowUp": return { at: Math.max(at - 1, 0) };
        case "PageDown": return { at: Math.min(at + page, last) };
        case "PageUp": return { at: Math.max(at - page, 0) };
        case "Home": return { at: 0 };
        case "End": return { at: last };
        case "ArrowRight":
            if (folder.children.length === 0) return { at };
            if (!open[f]) return { at, open: f };
            return { at: Math.min(at + 1, last) };
        case "ArrowLeft":
            if (open[f] && folder.children.length) return { at, close: f };
            if (folder.parent >= 0) return { at: Math.max(0, rows.indexOf(folder.parent)) };
            return { at };
        case "Enter":
        case " ":
            return { at, select: f };
        }
        return null;
    }

    Object.assign(Catalogue, { childrenInOrder, treeRows, reveal, treeKey });
})(globalThis.Catalogue = globalThis.Catalogue || {});
