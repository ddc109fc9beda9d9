// The orders of the files: one permutation per column and direction, made once and kept.
// Absent values come last either way; files of equal value keep the walk's order.
(function (Catalogue) {
    "use strict";

    const C = Catalogue;

    // Ranks of `values` (text or null) in byte order of their lower case; null stays NaN.
    function rankTexts(values) {
        const order = [];
        values.forEach((v, i) => { if (v !== null && v !== undefined) order.push(i); });
        const keys = values.map((v) => (typeof v === "string" ? v.toLowerCase() : null));
        order.sort((a, b) => (keys[a] < keys[b] ? -1 : keys[a] > keys[b] ? 1 : 0));
        const ranks = new Float64Array(values.length).fill(NaN);
        let rank = -1, last = null;
        for (const i of order) {
            if (keys[i] !== last) { rank++; last = keys[i]; }
            ranks[i] = rank;
        }
        return ranks;
    }

    // Each file's key for `column`: numbers (NaN absent) or, for a file's own text, strings.
    function sortKeys(cat, column) {
        const n = cat.files.count;
        if (column.via === "file") {
            if (column.kind === "num") {
                const keys = new Float64Array(n);
                for (let i = 0; i < n; i++) keys[i] = column.value(cat, i);
                return keys;
            }
            if (column.id === "name") return cat.files.key; // lower case already
            const keys = new Array(n);
            for (let i = 0; i < n; i++) {
                const v = column.value(cat, i);
                keys[i] = typeof v === "string" ? v.toLowerCase() : null;
            }
            return keys;
        }
        const table = column.via === "folder" ? cat.folders : column.via === "profile" ? cat.profiles : cat.albums;
        const index = column.via === "folder" ? cat.files.folder : column.via === "profile" ? cat.files.profile : cat.files.album;
        const values = table.map((record) => column.value(record));
        const ranks = column.kind === "num" ? Float64Array.from(values, (v) => (typeof v === "number" ? v : NaN)) : rankTexts(values);
        const keys = new Float64Array(n);
        for (let i = 0; i < n; i++) keys[i] = index[i] >= 0 ? ranks[index[i]] : NaN;
        return keys;
    }

    function compareNumbers(keys, sign) {
        return (a, b) => {
            const x = keys[a], y = keys[b];
            if (x < y) return -sign;
            if (x > y) return sign;
            if (x !== x) { if (y === y) return 1; } else if (y !== y) return -1;
            return a - b;
        };
    }

    function compareTexts(keys, sign) {
        return (a, b) => {
            const x = keys[a], y = keys[b];
            if (x === null || y === null) {
                if (x !== y) return x === null ? 1 : -1;
                return a - b;
            }
            if (x < y) return -sign;
            if (x > y) return sign;
            return a - b;
        };
    }

    function walkOrder(cat) {
        let order = cat.sortCache.get("");
        if (!order) {
            order = new Int32Array(cat.files.count);
            for (let i = 0; i < order.length; i++) order[i] = i;
            cat.sortCache.set("", order);
        }
        return order;
    }

    // The files in the order of column `id`, reversed when `descending`; the walk's order for
    // no column.
    function sortOrder(cat, id, descending) {
        const column = id ? C.columnById.get(id) : null;
        if (!column) return walkOrder(cat);
        const cacheKey = id + (descending ? "-" : "+");
        let order = cat.sortCache.get(cacheKey);
        if (order) return order;
        let keys = cat.sortCache.get("keys:" + id);
        if (!keys) {
            keys = sortKeys(cat, column);
            cat.sortCache.set("keys:" + id, keys);
        }
        const sign = descending ? -1 : 1;
        order = walkOrder(cat).slice();
        order.sort(keys instanceof Float64Array ? compareNumbers(keys, sign) : compareTexts(keys, sign));
        cat.sortCache.set(cacheKey, order);
        return order;
    }

    Object.assign(Catalogue, { sortOrder, sortKeys, rankTexts });
})(globalThis.Catalogue = globalThis.Catalogue || {});
