// Ferrow's browser extension: hands the page as the reader sees it (the
// markup after its scripts ran, the pictures shown, the cookies and the
// User-Agent), or a link or a picture, to Ferrow through the native
// messaging host "ferrow.handover". One source for Chromium (service worker)
// and Firefox (background script).
const api = globalThis.browser ?? globalThis.chrome;
const HOST = "ferrow.handover";

// The host's bounds (engine/snapshot.h), kept here so that a large page is
// cut where it may be rather than refused whole.
const MAX_PICTURES = 10000;
const MAX_COOKIES = 300;
const MAX_TITLE = 300;  // characters: at most 1023 bytes of UTF-8
const MAX_AGENT = 500;
const MAX_ADDRESS = 2048;
const COOKIE_PLACES = 50;  // folders of pictures whose cookies are asked for

// The host refuses a lone surrogate, and the whole message with it: a page's
// text may hold one, and a cut between the halves of a pair makes one.
const wellFormed = (text) => text.toWellFormed?.() ?? text;
function cut(text, max) {
    const part = text.slice(0, max);
    return wellFormed(/[\uD800-\uDBFF]$/.test(part) ? part.slice(0, -1) : part);
}

const isWeb = (address) =>
    typeof address === "string" && /^https?:\/\//i.test(address) && address.length <= MAX_ADDRESS;

// Runs in the tab. Background pictures are taken from visible elements only:
// what the reader sees, not every rule of the style sheets.
function capturePage() {
    const pictures = new Set();
    for (const img of document.images) {
        const src = img.currentSrc || img.src;
        if (src) pictures.add(src);
    }
    const urlPattern = /url\(\s*(['"]?)(.*?)\1\s*\)/g;
    for (const element of document.querySelectorAll("*")) {
        const style = getComputedStyle(element);
        const background = style.backgroundImage;
        if (!background || background === "none" || style.visibility === "hidden") continue;
        const box = element.getBoundingClientRect();
        if (box.width === 0 || box.height === 0) continue;
        for (const match of background.matchAll(urlPattern)) {
            try {
                pictures.add(new URL(match[2], document.baseURI).href);
            } catch (error) {
                // not an address
            }
        }
    }
    return {
        url: location.href,
        title: document.title,
        html: document.documentElement.outerHTML,
        pictures: [...pictures],
        userAgent: navigator.userAgent,
    };
}

// The browser's cookies for the page and for the folders of its pictures,
// each once, in the fields the host reads.
async function cookiesFor(addresses) {
    const places = new Set();
    for (const address of addresses) {
        try {
            const url = new URL(address);
            places.add(url.origin + url.pathname.replace(/[^/]*$/, ""));
        } catch (error) {
            // not an address
        }
        if (places.size >= COOKIE_PLACES) break;
    }
    const found = new Map();
    for (const place of places) {
        for (const c of await api.cookies.getAll({url: place})) {
            found.set(`${c.domain}\t${c.path}\t${c.name}`, {
                name: c.name,
                value: c.value,
                domain: c.domain,
                path: c.path,
                hostOnly: c.hostOnly,
                secure: c.secure,
                httpOnly: c.httpOnly,
                session: c.session,
                ...(c.session ? {} : {expirationDate: c.expirationDate}),
            });
        }
    }
    return [...found.values()].slice(0, MAX_COOKIES);
}

function notify(text) {
    api.notifications.create({
        type: "basic",
        iconUrl: api.runtime.getURL("icons/ferrow-48.png"),
        title: "Ferrow",
        message: String(text),
    });
}

// One message to the host; its reply, or the reason it could not be sent,
// as {error}.
async function send(message) {
    let reply;
    try {
        reply = await api.runtime.sendNativeMessage(HOST, message);
    } catch (error) {
        reply = {error: `${api.i18n.getMessage("noHost")} (${error?.message ?? error})`};
    }
    if (!reply || reply.error) notify(reply?.error ?? api.i18n.getMessage("noHost"));
    return reply;
}

// The page entry and the toolbar button: the tab's page as it is now.
async function ferrowAnalyse(tabId) {
    let page;
    try {
        const [injection] = await api.scripting.executeScript({target: {tabId}, func: capturePage});
        page = injection.result;
    } catch (error) {
        notify(error?.message ?? error);
        return {error: String(error?.message ?? error)};
    }
    if (!isWeb(page.url)) {
        notify(api.i18n.getMessage("notWeb"));
        return {error: api.i18n.getMessage("notWeb")};
    }
    const pictures = page.pictures.filter(isWeb).slice(0, MAX_PICTURES);
    return send({
        kind: "page",
        url: page.url,
        title: cut(page.title, MAX_TITLE),
        userAgent: cut(page.userAgent, MAX_AGENT),
        html: wellFormed(page.html),
        pictures,
        cookies: await cookiesFor([page.url, ...pictures]),
    });
}
globalThis.ferrowAnalyse = ferrowAnalyse;

// A link or a picture: its address, with the page as referrer.
async function ferrowHandAddress(kind, address, pageUrl) {
    if (!isWeb(address)) {
        notify(api.i18n.getMessage("notWeb"));
        return {error: api.i18n.getMessage("notWeb")};
    }
    const referrer = isWeb(pageUrl) ? pageUrl : "";
    return send({
        kind,
        url: address,
        referrer,
        userAgent: cut(navigator.userAgent, MAX_AGENT),
        cookies: await cookiesFor([address, ...(referrer ? [referrer] : [])]),
    });
}
globalThis.ferrowHandAddress = ferrowHandAddress;

api.runtime.onInstalled.addListener(() => {
    api.contextMenus.removeAll(() => {
        const entries = [
            ["ferrow-page", "pageEntry", ["page"]],
            ["ferrow-link", "linkEntry", ["link"]],
            ["ferrow-picture", "pictureEntry", ["image"]],
        ];
        for (const [id, text, contexts] of entries)
            api.contextMenus.create({id, title: api.i18n.getMessage(text), contexts});
    });
});

api.contextMenus.onClicked.addListener((info, tab) => {
    if (info.menuItemId === "ferrow-page" && tab) ferrowAnalyse(tab.id);
    else if (info.menuItemId === "ferrow-link") ferrowHandAddress("link", info.linkUrl, info.pageUrl);
    else if (info.menuItemId === "ferrow-picture") ferrowHandAddress("picture", info.srcUrl, info.pageUrl);
});

api.action.onClicked.addListener((tab) => ferrowAnalyse(tab.id));
