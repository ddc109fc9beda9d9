// The page's glue: reads the data element, builds the controls, the tree and the table, and
// keeps the view and the address's fragment in step. All logic lives in the other files; text
// from the data goes into the document only as text nodes and attribute values.
(function (C) {
    "use strict";

    const ROW = 22;
    const PRINT_ROWS = 10000;
    const $ = (id) => document.getElementById(id);

    function el(tag, className, text) {
        const e = document.createElement(tag);
        if (className) e.className = className;
        if (text !== undefined && text !== null) e.textContent = text;
        return e;
    }

    // A name or tag, isolated from the text beside it, its hidden characters shown as markers.
    function appendName(parent, text) {
        const span = el("span", "name");
        span.dir = "auto";
        for (const part of C.nameParts(text)) {
            if (part.mark) span.appendChild(el("span", "mark", "\u27e8" + part.mark + "\u27e9"));
            else span.appendChild(document.createTextNode(part.text));
        }
        parent.appendChild(span);
        return span;
    }

    let cat, view, folder, open, treeRows, treeAt = 0, shown = new Int32Array(0), selected = -1;
    let tree, table, lastHash = null, summaryTimer = 0, firstRows = true;

    function currentFolderIndex() {
        const f = cat.folderByPath.get(view.folder);
        return f === undefined ? cat.root : f;
    }

    // Controls.

    function option(select, value, text) {
        const o = el("option", null, text);
        o.value = value;
        select.appendChild(o);
        return o;
    }

    function buildControls() {
        const health = $("health");
        for (const word of cat.healthWords) option(health, word, word);
        option(health, "failure", "failure");
        option(health, "noaudio", "no audio found");
        const enc = $("enc");
        const groups = { encoder: el("optgroup"), preset: el("optgroup") };
        groups.encoder.label = "Encoder";
        groups.preset.label = "Preset";
        for (const choice of C.encoderChoices(cat)) {
            option(groups[choice.kind], choice.value, C.plainName(choice.text) + " (" + C.formatCount(choice.count) + ")");
        }
        for (const g of Object.values(groups)) if (g.children.length) enc.appendChild(g);
        const choices = $("column-choices");
        for (const column of C.columns) {
            const label = el("label");
            const box = el("input");
            box.type = "checkbox";
            box.value = column.id;
            label.append(box, " " + column.label);
            choices.appendChild(label);
        }
        choices.addEventListener("change", () => {
            const cols = [...choices.querySelectorAll("input:checked")].map((b) => b.value);
            view.cols = cols.length ? cols : ["name"];
            drawHead();
            table.rows.forEach((r) => r.remove());
            table.rows = [];
            table.render();
            writeHash();
        });

        $("search").addEventListener("input", (e) => { view.q = e.target.value; filesChanged(); });
        $("below").addEventListener("input", (e) => { view.below = Number(e.target.value) > 0 ? Number(e.target.value) : 0; filesChanged(); });
        for (const id of ["mode", "enc", "health"]) $(id).addEventListener("change", (e) => { view[id] = e.target.value; filesChanged(); });
        $("nocover").addEventListener("change", (e) => { view.nocover = e.target.checked; filesChanged(); });
        $("tree-order").addEventListener("change", (e) => { view.tree = e.target.value; treeChanged(); writeHash(); });
        $("clear").addEventListener("click", () => {
            const keep = { folder: view.folder, cols: view.cols, tree: view.tree, sort: view.sort, desc: view.desc };
            view = Object.assign(C.defaultView(), keep);
            showControls();
            filesChanged();
        });
    }

    // The controls as the view says.
    function showControls() {
        $("search").value = view.q;
        $("below").value = view.below > 0 ? String(view.below) : "";
        for (const id of ["mode", "enc", "health"]) {
            const select = $(id);
            if (view[id] && ![...select.options].some((o) => o.value === view[id])) option(select, view[id], C.plainName(view[id]));
            select.value = view[id];
        }
        $("nocover").checked = view.nocover;
        $("tree-order").value = view.tree;
        for (const box of $("column-choices").querySelectorAll("input")) box.checked = view.cols.includes(box.value);
    }

    // The fragment.

    function writeHash() {
        const hash = C.encodeView(view);
        if (hash === lastHash) return;
        lastHash = hash;
        const url = location.href.split("#")[0] + (hash ? "#" + hash : "");
        try {
            history.replaceState(null, "", url);
        } catch (e) {
            location.replace("#" + hash);
        }
    }

    function readHash() {
        const hash = location.hash.replace(/^#/, "");
        if (hash === lastHash) return;
        lastHash = hash;
        view = C.decodeView(hash);
        showControls();
        folder = currentFolderIndex();
        C.reveal(cat, open, folder);
        treeChanged();
        drawHead();
        filesChanged(true);
    }

    // The tree.

    function makeTreeRow() {
        const row = el("div", "row");
        row.setAttribute("role", "treeitem");
        return row;
    }

    function fillTreeRow(row, index) {
        const f = treeRows[index];
        const d = cat.folders[f];
        const r = d.rollup;
        row.textContent = "";
        row.dataset.row = index;
        row.classList.toggle("selected", f === folder);
        row.classList.toggle("cursor", index === treeAt);
        row.setAttribute("aria-selected", f === folder ? "true" : "false");
        const line = el("span", "line");
        line.style.paddingLeft = 4 + d.depth * 14 + "px";
        const toggle = el("span", "toggle", d.children.length ? (open[f] ? "\u25be" : "\u25b8") : "");
        if (d.children.length) row.setAttribute("aria-expanded", open[f] ? "true" : "false");
        else row.removeAttribute("aria-expanded");
        line.appendChild(toggle);
        appendName(line, f === cat.root ? String(cat.head.folder ?? "") || "(folder listed)" : d.label);
        row.appendChild(line);
        row.appendChild(el("span", "stat count", C.formatCount(r.mp3Files)));
        row.appendChild(el("span", "stat kbps" + (r.lowestBitrate < 128 ? " low" : ""), isNaN(r.lowestBitrate) ? "" : r.lowestBitrate + "/" + C.formatNumber(r.averageBitrate)));
        row.appendChild(el("span", "stat findings" + (r.findings > 0 ? " some" : ""), r.findings > 0 ? C.formatCount(r.findings) : ""));
        row.title = folderSummary(d);
    }

    function mixText(mix) {
        return [...mix].sort((a, b) => b[1] - a[1]).map(([k, n]) => (k === "" ? "(none)" : C.plainName(k)) + " " + C.formatCount(n)).join(", ");
    }

    function folderSummary(d) {
        const r = d.rollup;
        return [
            C.plainName(d.path || String(cat.head.folder ?? "")),
            `${C.formatCount(r.files)} files, ${C.formatCount(r.mp3Files)} MP3, ${C.formatBytes(r.bytes)}, ${C.formatDuration(r.seconds)}`,
            `lowest ${C.formatNumber(r.lowestBitrate) || "–"} kbit/s, average ${C.formatNumber(r.averageBitrate) || "–"} kbit/s`,
            `${C.formatCount(r.findings)} with a health finding`,
            "encoders: " + (mixText(r.encoders) || "–"),
            "modes: " + (mixText(r.modes) || "–"),
        ].join("\n");
    }

    function treeChanged() {
        treeRows = C.treeRows(cat, open, view.tree);
        const at = treeRows.indexOf(folder);
        if (at >= 0) treeAt = at;
        treeAt = Math.min(treeAt, treeRows.length - 1);
        tree.setCount(treeRows.length);
    }

    function chooseFolder(f) {
        if (f === folder) return;
        folder = f;
        view.folder = cat.folders[f].id;
        tree.render();
        filesChanged();
    }

    function toggleFolder(f) {
        open[f] = open[f] ? 0 : 1;
        treeChanged();
    }

    function setupTree() {
        const scroller = $("tree");
        tree = new C.VirtualList(scroller, scroller.querySelector(".body"), ROW, makeTreeRow, fillTreeRow);
        scroller.addEventListener("click", (e) => {
            const row = e.target.closest(".row");
            if (!row) return;
            const index = Number(row.dataset.row);
            const f = treeRows[index];
            treeAt = index;
            if (e.target.classList.contains("toggle")) toggleFolder(f);
            else chooseFolder(f);
            tree.render();
        });
        scroller.addEventListener("dblclick", (e) => {
            const row = e.target.closest(".row");
            if (row && !e.target.classList.contains("toggle")) toggleFolder(treeRows[Number(row.dataset.row)]);
        });
        scroller.addEventListener("keydown", (e) => {
            const move = C.treeKey(cat, treeRows, treeAt, e.key, open, tree.pageRows());
            if (!move) return;
            e.preventDefault();
            treeAt = move.at;
            if (move.open !== undefined) { open[move.open] = 1; treeChanged(); }
            if (move.close !== undefined) { open[move.close] = 0; treeChanged(); }
            if (move.select !== undefined) chooseFolder(move.select);
            tree.reveal(treeAt);
        });
    }

    // The table.

    function drawHead() {
        const head = $("table").querySelector(".head");
        head.textContent = "";
        const widths = [];
        for (const id of view.cols) {
            const column = C.columnById.get(id);
            widths.push(column.width + "px");
            const cell = el("button", "cell" + (column.kind === "num" ? " num" : ""), column.label);
            cell.type = "button";
            cell.dataset.column = id;
            cell.setAttribute("role", "columnheader");
            if (view.sort === id) {
                cell.classList.add("sorted");
                cell.setAttribute("aria-sort", view.desc ? "descending" : "ascending");
                cell.appendChild(el("span", "arrow", view.desc ? " \u25bc" : " \u25b2"));
            }
            head.appendChild(cell);
        }
        const scroller = $("table");
        scroller.style.setProperty("--columns", widths.join(" "));
        const total = view.cols.reduce((sum, id) => sum + C.columnById.get(id).width, 0);
        head.style.width = total + "px";
        scroller.querySelector(".body").style.width = total + "px";
    }

    function makeTableRow() {
        const row = el("div", "row");
        row.setAttribute("role", "row");
        return row;
    }

    function fillTableRow(row, index) {
        const i = shown[index];
        row.textContent = "";
        row.dataset.row = index;
        row.classList.toggle("selected", index === selected);
        row.classList.toggle("finding", C.hasFinding(cat, i));
        for (const id of view.cols) {
            const column = C.columnById.get(id);
            const cell = el("span", "cell" + (column.kind === "num" ? " num" : ""));
            if (id === "name") {
                const href = C.fileHref(cat, i);
                const holder = href === null ? cell : cell.appendChild(el("a"));
                if (href !== null) holder.href = href;
                appendName(holder, cat.files.name[i]);
            } else {
                const text = C.cellText(cat, column, i);
                if (text !== "") {
                    if (column.kind === "str") appendName(cell, text);
                    else cell.textContent = text;
                }
            }
            row.appendChild(cell);
        }
    }

    function selectRow(index) {
        selected = index;
        table.render();
        drawDetails();
    }

    function setupTable() {
        const scroller = $("table");
        table = new C.VirtualList(scroller, scroller.querySelector(".body"), ROW, makeTableRow, fillTableRow);
        scroller.querySelector(".head").addEventListener("click", (e) => {
            const cell = e.target.closest("[data-column]");
            if (!cell) return;
            const id = cell.dataset.column;
            if (view.sort === id) view.desc = !view.desc;
            else { view.sort = id; view.desc = false; }
            drawHead();
            filesChanged();
        });
        scroller.querySelector(".body").addEventListener("click", (e) => {
            const row = e.target.closest(".row");
            if (row) selectRow(Number(row.dataset.row));
        });
        scroller.addEventListener("keydown", (e) => {
            if (e.target !== scroller || shown.length === 0) return;
            const last = shown.length - 1, page = table.pageRows();
            const moves = { ArrowDown: selected + 1, ArrowUp: selected - 1, PageDown: selected + page,
                            PageUp: selected - page, Home: 0, End: last };
            if (e.key in moves) {
                e.preventDefault();
                selectRow(Math.max(0, Math.min(last, selected < 0 ? 0 : moves[e.key])));
                table.reveal(selected);
            } else if (e.key === "Enter" && selected >= 0) {
                const href = C.fileHref(cat, shown[selected]);
                if (href !== null) {
                    e.preventDefault();
                    location.assign(href);
                }
            }
        });
    }

    function drawDetails() {
        const box = $("details");
        box.textContent = "";
        if (selected < 0 || selected >= shown.length) {
            box.hidden = true;
            return;
        }
        box.hidden = false;
        const i = shown[selected];
        const list = el("dl");
        const add = (label, text) => {
            if (text === "" || text === null || text === undefined) return;
            list.appendChild(el("dt", null, label));
            const dd = el("dd");
            appendName(dd, String(text));
            list.appendChild(dd);
        };
        add("Name", cat.files.name[i]);
        add("Folder", cat.folders[cat.files.folder[i]].path);
        for (const column of C.columns) {
            if (column.id !== "name" && column.id !== "folder") add(column.label, C.cellText(cat, column, i));
        }
        const sizeBytes = cat.files.size[i];
        if (!isNaN(sizeBytes)) add("Bytes", C.formatCount(sizeBytes));
        if (!cat.files.mp3[i]) add("Kind", "not an MP3 file by name");
        add("Raw path (hex)", cat.files.hex[i]);
        const href = C.fileHref(cat, i);
        if (href !== null) add("Address", href);
        box.appendChild(list);
    }

    // The files in view and what depends on them.

    // What the files in view were selected by, so that a search typed on (the same view with
    // more typed after its search) looks only among the files it had.
    let selectedBy = null;

    function filesChanged(keepSelection) {
        folder = currentFolderIndex();
        const rest = C.encodeView(Object.assign({}, view, { q: "" })) + "|" + folder;
        const typedOn = selectedBy !== null && selectedBy.rest === rest && view.q.startsWith(selectedBy.q);
        const order = typedOn ? shown : C.sortOrder(cat, view.sort, view.desc);
        shown = C.selectFiles(cat, order, folder, view);
        selectedBy = { rest, q: view.q };
        if (!keepSelection || selected >= shown.length) selected = -1;
        table.setCount(shown.length);
        if (!keepSelection) $("table").scrollTop = 0;
        drawStatus();
        drawDetails();
        drawFolderInfo();
        writeHash();
        if (firstRows) {
            firstRows = false;
            performance.mark("catalogue-rows");
            document.documentElement.dataset.ready = "1";
        }
        // While the search is typed, the summary waits for a pause.
        clearTimeout(summaryTimer);
        summaryTimer = setTimeout(drawSummary, typedOn ? 200 : 0);
    }

    function drawStatus() {
        const total = cat.folders[folder].rollup.files;
        const sortColumn = view.sort ? C.columnById.get(view.sort) : null;
        let text = C.formatCount(shown.length) + " of " + C.formatCount(total) + " files in view";
        if (sortColumn) text += ", by " + sortColumn.label.toLowerCase() + (view.desc ? ", reversed" : "");
        $("status").textContent = text;
        $("empty").hidden = shown.length > 0;
    }

    function drawFolderInfo() {
        const box = $("folder-info");
        box.textContent = "";
        const trail = el("nav", "trail");
        trail.setAttribute("aria-label", "Folder");
        C.ancestors(cat, folder).forEach((f, at) => {
            if (at) trail.appendChild(el("span", "sep", " \u203a "));
            const b = el("button", "crumb");
            b.type = "button";
            b.dataset.folder = f;
            appendName(b, f === cat.root ? String(cat.head.folder ?? "") || "(folder listed)" : cat.folders[f].label);
            trail.appendChild(b);
        });
        box.appendChild(trail);
        const r = cat.folders[folder].rollup;
        const facts = el("p", "facts");
        const parts = [
            C.formatCount(r.files) + " files", C.formatCount(r.mp3Files) + " MP3", C.formatBytes(r.bytes),
            C.formatDuration(r.seconds), "lowest " + (C.formatNumber(r.lowestBitrate) || "–") + " kbit/s",
            "average " + (C.formatNumber(r.averageBitrate) || "–") + " kbit/s",
            C.formatCount(r.findings) + " with a finding",
        ];
        facts.textContent = parts.join(" \u00b7 ");
        box.appendChild(facts);
        const mixes = el("p", "facts mixes");
        mixes.textContent = "Encoders: " + (mixText(r.encoders) || "–") + " \u00b7 Modes: " + (mixText(r.modes) || "–");
        box.appendChild(mixes);
    }

    function drawSummary() {
        const box = $("summary");
        if (!$("summary-box").open) return;
        const s = C.summarize(cat, shown);
        box.textContent = "";
        const totals = el("p", "facts");
        totals.textContent = [
            C.formatCount(s.files) + " files", C.formatCount(s.mp3Files) + " MP3", C.formatBytes(s.bytes),
            C.formatDuration(s.seconds), "average " + (C.formatNumber(s.averageBitrate) || "–") + " kbit/s",
            C.formatCount(s.findings) + " with a finding",
        ].join(" \u00b7 ");
        box.appendChild(totals);
        const charts = el("div", "charts");
        charts.appendChild(C.drawHistogram(document, s.bins));
        charts.appendChild(C.drawMix(document, "Presets", s.presets));
        charts.appendChild(C.drawMix(document, "Encoders", s.encoders));
        charts.appendChild(C.drawMix(document, "Modes", s.modes));
        charts.appendChild(C.drawMix(document, "Sample rates", s.rates));
        box.appendChild(charts);
    }

    // Printing: the rows in view (up to a bound) as a plain table.

    function buildPrint() {
        const t = $("print-table");
        t.textContent = "";
        const head = t.appendChild(el("thead")).appendChild(el("tr"));
        for (const id of view.cols) head.appendChild(el("th", null, C.columnById.get(id).label));
        const body = t.appendChild(el("tbody"));
        const count = Math.min(shown.length, PRINT_ROWS);
        for (let k = 0; k < count; k++) {
            const tr = body.appendChild(el("tr"));
            for (const id of view.cols) {
                const td = tr.appendChild(el("td"));
                appendName(td, id === "name" ? cat.files.name[shown[k]] : C.cellText(cat, C.columnById.get(id), shown[k]));
            }
        }
        $("print-note").textContent = count < shown.length ? `The first ${C.formatCount(count)} of ${C.formatCount(shown.length)} files in view.` : "";
    }

    // A run that was cut short or could not read everything says so above the files.
    function drawIncomplete() {
        const end = cat.end;
        if (end === null || (!end.cancelled && !(end.failureCount > 0))) return;
        const count = end.failureCount > 0 ? C.formatCount(end.failureCount) : "";
        $("incomplete-text").textContent = (end.cancelled ? "The listing was interrupted: the catalogue lacks the rest of the files." : "This catalogue is incomplete.") +
            (count ? " " + count + (end.failureCount === 1 ? " folder or file" : " folders or files") + " could not be read in full." : "");
        for (const failure of end.failures) {
            const item = el("li");
            appendName(item, failure.path);
            item.appendChild(document.createTextNode(": " + failure.reason));
            $("incomplete-list").appendChild(item);
        }
        $("incomplete").hidden = false;
    }

    function start() {
        const data = $("catalogue-data");
        const text = data.textContent;
        data.remove(); // its text is parsed; the document need not keep 60 MB of it
        cat = C.parse(text);
        document.title = "MP3 catalogue: " + C.plainName(String(cat.head.folder ?? ""));
        $("title-folder").textContent = "";
        appendName($("title-folder"), String(cat.head.folder ?? ""));
        open = new Uint8Array(cat.folders.length);
        open[cat.root] = 1;
        drawIncomplete();
        buildControls();
        setupTree();
        setupTable();
        $("folder-info").addEventListener("click", (e) => {
            const b = e.target.closest("[data-folder]");
            if (!b) return;
            const f = Number(b.dataset.folder);
            C.reveal(cat, open, f);
            chooseFolder(f);
            treeChanged();
            tree.reveal(treeAt);
        });
        $("summary-box").addEventListener("toggle", drawSummary);
        window.addEventListener("hashchange", readHash);
        window.addEventListener("beforeprint", buildPrint);
        window.addEventListener("afterprint", () => { $("print-table").textContent = ""; });
        document.addEventListener("keydown", (e) => {
            if (e.key !== "/" || e.ctrlKey || e.metaKey || e.altKey) return;
            const t = e.target;
            if (t.closest && t.closest("input, select, textarea")) return;
            e.preventDefault();
            $("search").focus();
            $("search").select();
        });
        $("search").addEventListener("keydown", (e) => {
            if (e.key === "Escape" && e.target.value) { e.target.value = ""; view.q = ""; filesChanged(); }
            else if (e.key === "ArrowDown" || e.key === "Enter") { e.preventDefault(); $("table").focus(); if (selected < 0 && shown.length) selectRow(0); }
        });
        readHash();
    }

    start();
})(globalThis.Catalogue);
