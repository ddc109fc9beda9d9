// A list that keeps only the rows in sight in the document: rows of one height in a body as
// tall as all of them, placed where they belong, refilled as the list scrolls.
(function (Catalogue) {
    "use strict";

    // The rows [first, last) to draw for a scroll position, with `spare` rows either side.
    function rowWindow(scrollTop, viewHeight, rowHeight, count, spare) {
        const first = Math.max(0, Math.floor(scrollTop / rowHeight) - spare);
        const last = Math.min(count, Math.ceil((scrollTop + viewHeight) / rowHeight) + spare);
        return [first, Math.max(first, last)];
    }

    class VirtualList {
        // `fill(element, index)` makes `element` show row `index`; `make()` makes a row element.
        constructor(scroller, body, rowHeight, make, fill) {
            this.scroller = scroller;
            this.body = body;
            this.rowHeight = rowHeight;
            this.make = make;
            this.fill = fill;
            this.count = 0;
            this.rows = [];
            this.pending = false;
            scroller.addEventListener("scroll", () => this.schedule(), { passive: true });
            if (typeof ResizeObserver === "function") new ResizeObserver(() => this.schedule()).observe(scroller);
        }

        setCount(count) {
            this.count = count;
            this.body.style.height = count * this.rowHeight + "px";
            this.render();
        }

        schedule() {
            if (this.pending) return;
            this.pending = true;
            requestAnimationFrame(() => {
                this.pending = false;
                this.render();
            });
        }

        // The rows that fit in sight, whole.
        pageRows() {
            return Math.max(1, Math.floor((this.scroller.clientHeight - this.body.offsetTop) / this.rowHeight));
        }

        render() {
            const top = this.scroller.scrollTop - this.body.offsetTop;
            const [first, last] = rowWindow(top, this.scroller.clientHeight, this.rowHeight, this.count, 8);
            const needed = last - first;
            while (this.rows.length < needed) {
                const el = this.make();
                el.style.height = this.rowHeight + "px";
                this.body.appendChild(el);
                this.rows.push(el);
            }
            while (this.rows.length > needed) this.rows.pop().remove();
            for (let k = 0; k < needed; k++) {
                const el = this.rows[k];
                el.style.transform = "translateY(" + (first + k) * this.rowHeight + "px)";
                this.fill(el, first + k);
            }
        }

        // Scrolls so that row `index` is in sight.
        reveal(index) {
            const head = this.body.offsetTop;
            const y = head + index * this.rowHeight;
            const view = this.scroller.clientHeight;
            if (y < this.scroller.scrollTop + head) this.scroller.scrollTop = y - head;
            else if (y + this.rowHeight > this.scroller.scrollTop + view) this.scroller.scrollTop = y + this.rowHeight - view;
            this.render();
        }
    }

    Object.assign(Catalogue, { rowWindow, VirtualList });
})(globalThis.Catalogue = globalThis.Catalogue || {});
