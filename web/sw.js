// Keeps the page working offline: the files of this version are cached on install, answered from
// the cache first, and the caches of older versions are dropped when this one takes over.
const kVersion = 'dorvanta-web-1';
const kFiles = ['./', 'index.html', 'style.css', 'app.js', 'core.js', 'worker.js', 'fragment.js',
    'keys.js', 'png.js', 'settings.js', 'dorvanta.wasm', 'manifest.webmanifest', 'icon.svg', 'icon-256.png'];

self.addEventListener('install', (event) => {
    event.waitUntil(caches.open(kVersion).then((cache) => cache.addAll(kFiles)).then(() => self.skipWaiting()));
});

self.addEventListener('activate', (event) => {
    event.waitUntil(caches.keys()
        .then((names) => Promise.all(names.filter((n) => n !== kVersion).map((n) => caches.delete(n))))
        .then(() => self.clients.claim()));
});

// The network first, so that a new build shows at once; the cache when offline.
self.addEventListener('fetch', (event) => {
    if (event.request.method !== 'GET' || new URL(event.request.url).origin !== location.origin) return;
    event.respondWith(fetch(event.request).then((response) => {
        if (response.ok) {
            const copy = response.clone();
            caches.open(kVersion).then((cache) => cache.put(event.request, copy));
        }
        return response;
    }).catch(() => caches.match(event.request, { ignoreSearch: true })));
});
