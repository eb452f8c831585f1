// The browser's half of http_perf: Debian's Chromium driven by puppeteer-core.
//   node http_perf_browser.js NODE_MODULES URL load N   one "load=MS SERVED" line per load from
//                                                       another page: the time from the request to
//                                                       the cards with their controls, as the page
//                                                       marks it ("cards"), and the time the page's
//                                                       own request took
//   node http_perf_browser.js NODE_MODULES URL reload N the same for loads of the page over itself
//   node http_perf_browser.js NODE_MODULES URL click N  one "click=NS" line per click on Volume + of
//                                                       the first projector: CLOCK_MONOTONIC (as
//                                                       process.hrtime) just before the mouse goes down
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');

const [modules, url, mode, count] = process.argv.slice(2);
const puppeteer = require(path.join(modules, 'puppeteer-core'));

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zelt-perf-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${profile}`],
  });
  try {
    const page = await browser.newPage();
    await page.setViewport({width: 1280, height: 800});
    if (mode === 'load' || mode === 'reload') {
      for (let i = 0; i < Number(count); ++i) {
        await page.goto(url, {waitUntil: 'load'});
        await page.waitForFunction(() => performance.getEntriesByName('cards').length > 0);
        const times = await page.evaluate(() => {
          const n = performance.getEntriesByType('navigation')[0];
          return [performance.getEntriesByName('cards')[0].startTime, n.responseEnd - n.requestStart];
        });
        console.log(`${mode}=${times[0]} ${times[1]}`);
        // From another page: the next load starts in a new renderer, as from another site.
        if (mode === 'load') await page.goto('about:blank');
      }
      return;
    }
    await page.goto(url, {waitUntil: 'load'});
    const button = 'article button[data-command="C09"]';
    await page.waitForSelector(button);
    const box = await (await page.$(button)).boundingBox();
    await page.mouse.move(box.x + box.width / 2, box.y + box.height / 2);
    const result = 'article .result';
    for (let i = 0; i < Number(count); ++i) {
      await page.evaluate((s) => { document.querySelector(s).textContent = ''; }, result);
      const t = process.hrtime.bigint();
      await page.mouse.down();
      await page.mouse.up();
      console.log(`click=${t}`);
      await page.waitForFunction((s) => /answered|no reply|error/.test(document.querySelector(s).textContent),
        {timeout: 10000}, result);
      await new Promise((r) => setTimeout(r, 20));
    }
  } finally {
    await browser.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
}

main().catch((e) => {
  console.error(e.stack || String(e));
  process.exit(1);
});
