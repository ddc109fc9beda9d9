// The orders of the files: a permutation per column and direction. Absent values come last
// either way; files of equal value keep the walk's order. The last few orders and their keys
// are kept (at 500,000 files each takes 2 to 8 MB; all of them would take half a gigabyte), and
// a column's reverse order is made from its forward one, without sorting again.
(function (Catalogue) {
    "use strict";

    const C = Catalogue;

    // Orders and keys kept: the walk's order always, and this many others of each.
    const KEPT = 2;

    function kept(cat, key) {
        const value = cat.sortCache.get(key);
        if (value !== undefined) {
            cat.sortCache.delete(key); // to the end: the most recently used
            cat.sortCache.set(key, value);
        }
        return value;
    }

    function keep(cat, key, value) {
        cat.sortCache.set(key, value);
        const kind = key.startsWith("keys:");
        const same = [...cat.sortCache.keys()].filter((k) => k !== "" && k.startsWith("keys:") === kind);
        for (let k = 0; k < same.length - KEPT; k++) cat.sortCache.delete(same[k]);
    }

    // `forward` reversed, but for the files of equal value, which keep the walk's order, and
    // the absent ones, which stay last.
    function reversedOrder(forward, keys) {
        const absent = keys instanceof Float64Array ? (i) => keys[i] !== keys[i] : (i) => keys[i] === null;
        const n = forward.length;
        let present = n;
        while (present > 0 && absent(forward[present - 1])) present--;
        const out = new Int32Array(n);
        let m = 0;
        for (let end = present; end > 0; ) {
            let start = end - 1;
            while (start > 0 && keys[forward[start - 1]] === keys[forward[end - 1]]) start--;
            for (let k = start; k < end; k++) out[m++] = forward[k];
            end = start;
        }
        for (let k = present; k < n; k++) out[m++] = forward[k];
        return out;
    }

    // Ranks of `values` (text or null) in the order of their lower case as JavaScript compares
    // strings (by UTF-16 code units); null stays NaN.
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
        let order = kept(cat, cacheKey);
        if (order) return order;
        let keys = kept(cat, "keys:" + id);
        if (!keys) {
            keys = sortKeys(cat, column);
            keep(cat, "keys:" + id, keys);
        }
        const forward = kept(cat, id + (descending ? "+" : "-"));
        if (forward) {
            order = reversedOrder(forward, keys);
        } else {
            const sign = descending ? -1 : 1;
            order = walkOrder(cat).slice();
            order.sort(keys instanceof Float64Array ? compareNumbers(keys, sign) : compareTexts(keys, sign));
        }
        keep(cat, cacheKey, order);
        return order;
    }

    Object.assign(Catalogue, { sortOrder, sortKeys, rankTexts, reversedOrder });
})(globalThis.Catalogue = globalThis.Catalogue || {});
