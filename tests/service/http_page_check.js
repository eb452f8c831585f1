// Drives the service's web page in Debian's Chromium with puppeteer-core (from the npm registry;
// no browser download) and prints one "step=result" line per step for the test that starts it:
//   node http_page_check.js NODE_MODULES URL SCREENSHOT_DIR
// Loads the page, clicks On for the projector "hall" with the mouse and Volume + with the keyboard,
// waits for the card to show it warming up, takes screenshots at 360x640 and 1280x800 and runs
// axe-core at both sizes.
'use strict';

const fs = require('fs');
const os = require('os');
const path = require('path');

const [modules, url, shots] = process.argv.slice(2);
const puppeteer = require(path.join(modules, 'puppeteer-core'));
const axeSource = fs.readFileSync(path.join(modules, 'axe-core', 'axe.min.js'), 'utf8');

const say = (step, result) => console.log(`${step}=${result}`);
const control = (command) => `button[data-projector="hall"][data-command="${command}"]`;

async function axeAt(page, width, height) {
  await page.setViewport({width, height});
  await page.evaluate(axeSource);
  const result = await page.evaluate(() => axe.run(document, {resultTypes: ['violations']}));
  const counts = {critical: 0, serious: 0, moderate: 0, minor: 0};
  for (const v of result.violations) {
    counts[v.impact] = (counts[v.impact] || 0) + 1;
    console.error(`axe ${width}x${height}: ${v.impact} ${v.id}: ${v.help} ` +
      v.nodes.slice(0, 3).map((n) => n.target.join(' ')).join(' | '));
  }
  return counts;
}

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'zelt-chromium-'));
  const browser = await puppeteer.launch({
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-dev-shm-usage', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync',
      `--user-data-dir=${profile}`],
  });
  try {
    const page = await browser.newPage();
    const problems = [];
    page.on('console', (m) => { if (m.type() === 'error') problems.push(m.text()); });
    page.on('pageerror', (e) => problems.push(e.message));
    await page.setViewport({width: 1280, height: 800});
    const response = await page.goto(url, {waitUntil: 'load'});
    say('status', response.status());
    await page.waitForSelector(control('C00'));
    say('title', await page.title());
    say('controls-hall', await page.$$eval('article [data-projector="hall"][data-command]', (e) => e.length));
    await page.waitForFunction(() => document.getElementById('connection').textContent === 'Live');

    // The mouse: On.
    await page.click(control('C00'));
    await page.waitForSelector('article[data-projector="hall"][data-power="warming"]', {timeout: 15000});
    say('badge', await page.$eval('article[data-projector="hall"] .badge.power', (e) => e.textContent));
    say('pressed-input', await page.$eval(control('C05'), (e) => e.getAttribute('aria-pressed')));
    // The keyboard: Volume + reached by focus, pressed with the space bar.
    await page.focus(control('C09'));
    await page.keyboard.press('Space');
    await page.waitForFunction(
      (s) => /C09: answered/.test(document.querySelector(s).textContent),
      {timeout: 10000}, 'article[data-projector="hall"] .result');
    say('volume-result', await page.$eval('article[data-projector="hall"] .result', (e) => e.textContent));
    // The traffic view shows the click's bytes as the panel renders them.
    await page.waitForFunction(() => /TX C 0 0 {2}\[CR\]/.test(document.getElementById('traffic-log').textContent),
      {timeout: 10000});
    say('traffic', 'C00 shown');
    // The command reference: an item with marks, its digits, sent by the service's fill-in.
    await page.click('#reference-list-expanded');
    await page.type('#reference-filter', 'BRIGHT 0%');
    await page.select('#reference-item', await page.$eval('#reference-item', (s) => s.options[0].value));
    say('reference-command', await page.$eval('#reference-send', (e) => e.dataset.command));
    await page.type('#reference-digits', '42');
    await page.click('#reference-send');
    await page.waitForFunction(() => /answered/.test(document.getElementById('reference-result').textContent),
      {timeout: 10000});
    say('reference-result', await page.$eval('#reference-result', (e) => e.textContent));
    await page.evaluate(() => window.scrollTo(0, 0));

    await page.setViewport({width: 1280, height: 800});
    await page.screenshot({path: path.join(shots, 'web-page-1280x800.png')});
    await page.setViewport({width: 360, height: 640});
    await page.evaluate(() => window.scrollTo(0, 0));
    await page.screenshot({path: path.join(shots, 'web-page-360x640.png')});
    say('overflow-360', await page.evaluate(() => document.documentElement.scrollWidth > 360 ? 'yes' : 'no'));
    say('small-targets-360', await page.$$eval('button, select, input, nav a', (all) => all.filter((e) => {
      const r = e.getBoundingClientRect();
      return r.width > 0 && (r.height < 44 || r.width < 44) && e.type !== 'radio';
    }).length));

    const small = await axeAt(page, 360, 640);
    const large = await axeAt(page, 1280, 800);
    say('axe-critical', small.critical + large.critical);
    say('axe-serious', small.serious + large.serious);
    say('page-errors', problems.length);
    for (const p of problems) console.error(`page: ${p}`);
  } finally {
    await browser.close();
    fs.rmSync(profile, {recursive: true, force: true});
  }
}

main().catch((e) => {
  console.error(e.stack || String(e));
  process.exit(1);
});
