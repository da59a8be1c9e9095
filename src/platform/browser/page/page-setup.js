// The start panel: the set-up window, drawn for the player's set-up logic
// (platform/browser/browser_dialog.cpp calls Module.page.dialog), and what
// the page says of its demo; the footer's licence.
"use strict";

(function (z) {
  const $ = z.$;

  // ---- the set-up window, drawn for the player's set-up logic ---------------
  z.dialog = {
    controls: {},
    create(title, x, y, width, height, report) {
      this.report = report;
      this.controls = {};
      const box = $("setup-controls");
      box.textContent = "";
      box.style.width = width + "px";
      box.style.height = height + "px";
      $("setup-title").textContent = title;
      $("open-message").hidden = true;
      z.show("setup");
      $("setup").dataset.open = "1";
    },
    addControl(kind, text, x, y, width, height, id) {
      let element;
      if (kind === "button") {
        element = document.createElement("button");
        element.textContent = text;
        element.addEventListener("click", () => {
          if (z.opening) return;  // the demo in the folder is being replaced
          // The click that starts the demo is the one that may start sound.
          z.unlockAudio();
          Module._zor_set_sound($("nosound").checked ? 0 : 1);
          Module._zor_set_smooth($("smooth").checked ? 1 : 0);
          this.report(id, 0);
        });
      } else if (kind === "list") {
        element = document.createElement("select");
        element.title = text;
        element.addEventListener("change", () => this.report(id, 1));
        height = 22;
      } else {
        element = document.createElement("div");
        element.textContent = text;
      }
      Object.assign(element.style, { left: x + "px", top: y + "px", width: width + "px", height: height + "px" });
      if (id) {
        element.id = "control-" + id;
        this.controls[id] = element;
      }
      $("setup-controls").appendChild(element);
    },
    addString(id, text) {
      const list = this.controls[id];
      if (!list) return;
      // A new item selects nothing, as in the set-up window's lists.
      const selected = list.selectedIndex;
      const option = document.createElement("option");
      option.textContent = text;
      list.appendChild(option);
      list.selectedIndex = selected;
    },
    setCurSel(id, index) {
      const list = this.controls[id];
      if (list) list.selectedIndex = index >= 0 && index < list.options.length ? index : -1;
    },
    getCurSel(id) {
      const list = this.controls[id];
      return list ? list.selectedIndex : -1;
    },
    resetContent(id) {
      const list = this.controls[id];
      if (list) list.textContent = "";
    },
    messageBox(caption, text) { Module.page.messageBox(caption, text); },
    destroy() {
      $("setup").hidden = true;
      $("setup").dataset.open = "";
    },
  };

  // ---- what the page says of its demo, and the licence -------------------------
  const pageSays = { title: "", description: "" };  // of its own demo, in the zor-demo block

  z.showDemoInfo = function () {
    const block = $("zor-demo");
    if (!block) return;
    let info;
    try {
      info = JSON.parse(block.textContent);
    } catch (e) {
      console.warn(`zor-demo: not JSON (${e.message})`);
      return;
    }
    if (!info || typeof info !== "object") return;
    // Title and description are cut to a length a panel can show; a poster
    // given as a data: URL is whole (a cut one is a broken picture).
    const text = (value, most) => (typeof value === "string" && value.length <= most ? value : "");
    const shown = (value) => (typeof value === "string" ? value.slice(0, 4000) : "");
    const title = shown(info.title), description = shown(info.description), poster = text(info.poster, 16 << 20);
    Object.assign(pageSays, { title, description });
    $("demo-title").textContent = title;
    $("demo-description").textContent = description;
    if (poster && posterAllowed(poster)) {
      $("demo-poster").src = poster;
      $("demo-poster").alt = title;
      $("demo-poster").hidden = false;
    } else if (poster) {
      console.warn("zor-demo: the poster is neither a data:image URL nor a picture of this site; not shown");
    }
    $("demo-info").hidden = !(title || description || !$("demo-poster").hidden);
  };

  // The demo in the player's folder by its name, once its files are in place:
  // the page's tab, the start panel and the end panel say what its
  // demo-info.txt says (read by the player, on disk or in the archive, as it
  // finds its files), else what the page says of its own demo, else the
  // player's own title. `opened`: a demo the viewer opened, of which the page
  // says nothing and shows no poster.
  z.nameDemo = function (opened) {
    const [windowTitle, title, author, description] = Module.UTF8ToString(Module._zor_demo_info()).split("\n");
    const says = opened ? { title: "", description: "" } : pageSays;
    const shownTitle = title || says.title;
    document.title = shownTitle || windowTitle;
    $("demo-title").textContent = shownTitle;
    $("demo-author").textContent = author ? "by " + author : "";
    $("demo-description").textContent = description || says.description;
    if (opened) $("demo-poster").hidden = true;
    $("demo-info").hidden = !(shownTitle || author || $("demo-description").textContent || !$("demo-poster").hidden);
    $("end-title").textContent = document.title;
    $("end-text").textContent = author ? `The demo by ${author} has ended.` : "The demo has ended.";
  };

  function posterAllowed(address) {
    if (/^data:image\/(png|jpeg|gif|webp)[;,]/i.test(address)) return true;
    try {
      const url = new URL(address, location.href);
      return url.protocol !== "data:" && url.origin === location.origin;
    } catch (e) {
      return false;
    }
  }

  if (z.embedded.has(z.kLicence)) {
    z.unpack(z.kLicence).then((bytes) => {
      $("licence").href = URL.createObjectURL(new Blob([bytes], { type: "text/plain;charset=utf-8" }));
    }, (e) => console.warn(`${z.kLicence}: ${e.message}`));
  }
})(zorPage);
