// The summary of the files in view: totals, a histogram of bitrates and the mix of presets,
// encoders, modes and sample rates; then the drawing of them as SVG, apart from the numbers.
(function (Catalogue) {
    "use strict";

    const C = Catalogue;
    // The histogram's bins by average bitrate (the page's where there is no average), kbit/s:
    // below 64, 64–95, … 288–319, 320 and above.
    const BIN_EDGES = [64, 96, 128, 160, 192, 224, 256, 288, 320];

    function binOf(kbps) {
        let b = 0;
        while (b < BIN_EDGES.length && kbps >= BIN_EDGES[b]) b++;
        return b;
    }

    // The bins' names: "<64", "64–95", … "320+".
    function binLabels() {
        const labels = ["<" + BIN_EDGES[0]];
        for (let b = 1; b < BIN_EDGES.length; b++) labels.push(BIN_EDGES[b - 1] + "\u2013" + (BIN_EDGES[b] - 1));
        labels.push(BIN_EDGES[BIN_EDGES.length - 1] + "+");
        return labels;
    }

    // Entries of a count per key, the largest first; past `keep`, the rest as one "other".
    function topEntries(counts, keep) {
        const entries = [...counts].sort((a, b) => b[1] - a[1] || (a[0] < b[0] ? -1 : 1));
        if (entries.length <= keep) return entries;
        const rest = entries.slice(keep - 1).reduce((sum, e) => sum + e[1], 0);
        return entries.slice(0, keep - 1).concat([["other", rest]]);
    }

    function summarize(cat, indices) {
        const f = cat.files;
        const s = { files: indices.length, mp3Files: 0, bytes: 0, seconds: 0, findings: 0, noBitrate: 0,
                    averageBitrate: NaN, bins: new Array(BIN_EDGES.length + 1).fill(0),
                    presets: new Map(), encoders: new Map(), modes: new Map(), rates: new Map() };
        const perProfile = new Int32Array(cat.profiles.length + 1);
        let weighted = 0, weight = 0;
        for (let k = 0; k < indices.length; k++) {
            const i = indices[k];
            const size = f.size[i];
            if (size === size) s.bytes += size;
            if (f.mp3[i] === 0) continue;
            s.mp3Files++;
            if (f.health[i] !== 0 || f.failure[i] !== null) s.findings++;
            const seconds = f.seconds[i], average = f.average[i];
            if (seconds === seconds) s.seconds += seconds;
            if (average === average && seconds > 0) { weighted += average * seconds; weight += seconds; }
            const kbps = average > 0 ? average : f.bitrate[i];
            if (kbps > 0) s.bins[binOf(kbps)]++;
            else s.noBitrate++;
            perProfile[f.profile[i] + 1]++;
        }
        if (weight > 0) s.averageBitrate = Math.round(weighted / weight);
        const add = (map, key, n) => { if (n) map.set(key, (map.get(key) || 0) + n); };
        add(s.encoders, "(no profile)", perProfile[0]);
        cat.profiles.forEach((p, at) => {
            const n = perProfile[at + 1];
            add(s.presets, p.encoderSettings || "(none)", n);
            add(s.encoders, p.encoder || "(no encoder tag)", n);
            add(s.modes, p.bitrateMode || "(unknown)", n);
            add(s.rates, isNaN(p.sampleRate) ? "(unknown)" : p.sampleRate + " Hz", n);
        });
        return s;
    }

    // Drawing. `doc` is the document; every text goes in by textContent.
    const SVG = "http://www.w3.org/2000/svg";

    function svgElement(doc, name, attributes) {
        const el = doc.createElementNS(SVG, name);
        for (const [key, value] of Object.entries(attributes || {})) el.setAttribute(key, String(value));
        return el;
    }

    function svgText(doc, text, attributes) {
        const el = svgElement(doc, "text", attributes);
        el.textContent = text;
        return el;
    }

    // A column chart of the bitrate histogram.
    function drawHistogram(doc, bins) {
        const labels = binLabels();
        const width = 360, height = 150, bottom = 30, top = 14;
        const barWidth = width / bins.length;
        const most = Math.max(1, ...bins);
        const svg = svgElement(doc, "svg", { viewBox: `0 0 ${width} ${height}`, class: "chart", role: "img" });
        svg.appendChild(svgElement(doc, "title")).textContent = "Files by bitrate (kbit/s)";
        bins.forEach((count, b) => {
            const h = Math.round((height - bottom - top) * count / most);
            const x = b * barWidth;
            const bar = svgElement(doc, "rect", { x: x + 2, y: height - bottom - h, width: barWidth - 4, height: h, class: "bar" + (b < 4 ? " low" : "") });
            bar.appendChild(svgElement(doc, "title")).textContent = labels[b] + " kbit/s: " + count.toLocaleString("en-US");
            svg.appendChild(bar);
            if (count) svg.appendChild(svgText(doc, count.toLocaleString("en-US"), { x: x + barWidth / 2, y: height - bottom - h - 3, class: "value" }));
            svg.appendChild(svgText(doc, labels[b].replace(/\u2013.*/, ""), { x: x + barWidth / 2, y: height - bottom + 13, class: "label" }));
        });
        svg.appendChild(svgText(doc, "kbit/s", { x: width / 2, y: height - 3, class: "label" }));
        return svg;
    }

    // Horizontal bars of a mix, largest first.
    function drawMix(doc, title, counts, keep) {
        const entries = topEntries(counts, keep || 6);
        const row = 18, labelWidth = 120, width = 360;
        const height = Math.max(1, entries.length) * row + 18;
        const total = entries.reduce((sum, e) => sum + e[1], 0) || 1;
        const svg = svgElement(doc, "svg", { viewBox: `0 0 ${width} ${height}`, class: "chart mix", role: "img" });
        svg.appendChild(svgText(doc, title, { x: 0, y: 12, class: "heading" }));
        entries.forEach(([key, count], at) => {
            const y = 18 + at * row;
            const share = count / total;
            const name = svgText(doc, C.plainName(key).slice(0, 22), { x: labelWidth - 6, y: y + 12, class: "label end" });
            svg.appendChild(name);
            svg.appendChild(svgElement(doc, "rect", { x: labelWidth, y: y + 2, width: Math.max(1, share * (width - labelWidth - 70)), height: row - 5, class: "bar" }));
            svg.appendChild(svgText(doc, count.toLocaleString("en-US") + " (" + Math.round(share * 100) + "%)", { x: labelWidth + share * (width - labelWidth - 70) + 4, y: y + 12, class: "label" }));
            const tip = svgElement(doc, "title");
            tip.textContent = C.plainName(key) + ": " + count.toLocaleString("en-US");
            name.appendChild(tip);
        });
        return svg;
    }

    Object.assign(Catalogue, { BIN_EDGES, binOf, binLabels, topEntries, summarize, drawHistogram, drawMix });
})(globalThis.Catalogue = globalThis.Catalogue || {});
