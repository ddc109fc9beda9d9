// How names and numbers are shown, and the addresses of files.
(function (Catalogue) {
    "use strict";

    // Characters that change how the text around them is ordered or that cannot be seen:
    // controls, the bidirectional embeddings, overrides, isolates and marks, zero-width spaces,
    // line and paragraph separators and the byte order mark. A name shows each as a marker, so
    // that no name can pose as another ("song\u202E3pm.exe" would read "songexe.mp3").
    // Zero-width joiners stay: emoji and several scripts need them.
    const HIDDEN = /[\u0000-\u001f\u007f-\u009f\u061c\u200b\u200e\u200f\u2028-\u202e\u2060-\u2069\ufeff]/g;

    function codePoint(ch) {
        return "U+" + ch.codePointAt(0).toString(16).toUpperCase().padStart(4, "0");
    }

    // `text` as runs to show: {text} as it is, {mark: "U+202E"} for a character shown as a marker.
    function nameParts(text) {
        const parts = [];
        let from = 0;
        HIDDEN.lastIndex = 0;
        for (let m; (m = HIDDEN.exec(text)) !== null; ) {
            if (m.index > from) parts.push({ text: text.slice(from, m.index) });
            parts.push({ mark: codePoint(m[0]) });
            from = m.index + 1;
        }
        if (from < text.length || parts.length === 0) parts.push({ text: text.slice(from) });
        return parts;
    }

    // `text` on one line with its hidden characters spelt out, for titles and plain text.
    function plainName(text) {
        return text.replace(HIDDEN, (ch) => "\u27e8" + codePoint(ch) + "\u27e9");
    }

    const UNRESERVED = /[A-Za-z0-9\-._~]/;

    function encodeBytes(bytes) {
        let out = "";
        for (const b of bytes) {
            const ch = String.fromCharCode(b);
            out += b < 128 && UNRESERVED.test(ch) ? ch : "%" + (b < 16 ? "0" : "") + b.toString(16).toUpperCase();
        }
        return out;
    }

    const encoder = typeof TextEncoder === "function" ? new TextEncoder() : null;

    function utf8(text) {
        return encoder.encode(text);
    }

    function hexBytes(hex) {
        const out = new Uint8Array(hex.length >> 1);
        for (let i = 0; i < out.length; i++) out[i] = parseInt(hex.substr(2 * i, 2), 16);
        return out;
    }

    // The path's names, percent-encoded, from its text or from its raw bytes in hex.
    function encodedSegments(text, hex, separator) {
        if (hex) {
            const bytes = hexBytes(hex);
            const sep = separator.charCodeAt(0);
            const out = [];
            let from = 0;
            for (let i = 0; i <= bytes.length; i++) {
                if (i === bytes.length || bytes[i] === sep) {
                    out.push(encodeBytes(bytes.subarray(from, i)));
                    from = i + 1;
                }
            }
            return out;
        }
        return text.split(separator).map((name) => encodeBytes(utf8(name)));
    }

    // The address of file `i`: base, the folder's names and the file's, joined by "/"; null
    // when the page has no links. A file's hex is its whole path from the folder listed.
    function fileHref(catalogue, i) {
        if (catalogue.base === null) return null;
        const { files, folders, separator } = catalogue;
        let segments;
        if (files.hex[i]) {
            segments = encodedSegments(null, files.hex[i], separator);
        } else {
            const folder = folders[files.folder[i]];
            segments = folder.path === "" && !folder.hex ? [] : encodedSegments(folder.path, folder.hex, separator);
            segments.push(encodeBytes(utf8(files.name[i])));
        }
        return catalogue.base + segments.join("/");
    }

    function formatCount(n) {
        return isNaN(n) ? "" : Math.round(n).toLocaleString("en-US");
    }

    function formatBytes(n) {
        if (isNaN(n)) return "";
        const units = ["B", "KB", "MB", "GB", "TB"];
        let u = 0;
        while (n >= 1024 && u < units.length - 1) {
            n /= 1024;
            u++;
        }
        return (u === 0 ? String(n) : n.toFixed(n < 10 ? 2 : n < 100 ? 1 : 0)) + " " + units[u];
    }

    function formatDuration(seconds) {
        if (isNaN(seconds)) return "";
        let s = Math.round(seconds);
        const h = Math.floor(s / 3600);
        s -= h * 3600;
        const m = Math.floor(s / 60);
        s -= m * 60;
        const mm = h > 0 ? String(m).padStart(2, "0") : String(m);
        return (h > 0 ? h + ":" : "") + mm + ":" + String(s).padStart(2, "0");
    }

    function formatNumber(n) {
        return isNaN(n) ? "" : String(n);
    }

    Object.assign(Catalogue, {
        nameParts, plainName, encodeBytes, encodedSegments, fileHref, hexBytes,
        formatCount, formatBytes, formatDuration, formatNumber,
    });
})(globalThis.Catalogue = globalThis.Catalogue || {});
