// The view (folder, search, filters, sort, columns, the tree's order) in the address's
// fragment, as URLSearchParams write it, so that a link or a reload opens the same view.
// Only what differs from the default view is written.
(function (Catalogue) {
    "use strict";

    const C = Catalogue;
    const MODES = ["CBR", "VBR", "ABR", "unknown"];
    const TREE_ORDERS = ["walk", "name", "bitrate", "findings"];

    function defaultView() {
        return { folder: "", q: "", below: 0, mode: "", enc: "", health: "", nocover: false,
                 sort: "", desc: false, cols: C.defaultColumns.slice(), tree: "walk" };
    }

    function encodeView(view) {
        const d = defaultView();
        const p = new URLSearchParams();
        if (view.folder !== d.folder) p.set("folder", view.folder);
        if (view.q) p.set("q", view.q);
        if (view.below > 0) p.set("below", String(view.below));
        if (view.mode) p.set("mode", view.mode);
        if (view.enc) p.set("enc", view.enc);
        if (view.health) p.set("health", view.health);
        if (view.nocover) p.set("nocover", "1");
        if (view.sort) p.set("sort", (view.desc ? "-" : "") + view.sort);
        if (view.cols.join(",") !== d.cols.join(",")) p.set("cols", view.cols.join(","));
        if (view.tree !== d.tree) p.set("tree", view.tree);
        return p.toString();
    }

    // The view of fragment `hash` ("#…" or without the "#"); what it does not say, or says
    // wrong, is the default.
    function decodeView(hash) {
        const view = defaultView();
        const p = new URLSearchParams(String(hash || "").replace(/^#/, ""));
        const text = (key) => p.get(key) ?? "";
        view.folder = text("folder");
        view.q = text("q");
        const below = Number(text("below"));
        if (below > 0 && isFinite(below)) view.below = below;
        if (MODES.includes(text("mode"))) view.mode = text("mode");
        if (/^[ep]:/.test(text("enc"))) view.enc = text("enc");
        view.health = text("health");
        view.nocover = text("nocover") === "1";
        const sort = text("sort").replace(/^-/, "");
        if (C.columnById.has(sort)) {
            view.sort = sort;
            view.desc = text("sort").startsWith("-");
        }
        if (p.has("cols")) {
            const cols = text("cols").split(",").filter((id, at, all) => C.columnById.has(id) && all.indexOf(id) === at);
            if (cols.length) view.cols = cols;
        }
        if (TREE_ORDERS.includes(text("tree"))) view.tree = text("tree");
        return view;
    }

    Object.assign(Catalogue, { defaultView, encodeView, decodeView, TREE_ORDERS });
})(globalThis.Catalogue = globalThis.Catalogue || {});
