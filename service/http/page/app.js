// The service's web page: a card for each projector with its state and controls, the command
// reference, and the live traffic of a projector. Everything comes from the service's API under
// /api/v1; the state and the traffic arrive as Server-Sent Events. No framework, no build step.
'use strict';

(() => {
  const API = '/api/v1';
  const POWER = {on: 'On', off: 'Off', warming: 'Warming up', cooling: 'Cooling down', unknown: 'Unknown'};
  const LAMP = {on: 'on', off: 'off', failed: 'failed', unknown: 'unknown'};
  const FAULT_PARTS = {fan: 'Fan', lamp: 'Lamp', temperature: 'Temperature', cover: 'Cover', filter: 'Filter',
    other: 'Other'};
  const TRAFFIC_LINES = 500;

  let controls = [];     // groups of the card's controls, from /controls
  let reference = [];    // the command reference's lists, from /commands
  const cards = new Map();  // projector name -> {element, state, parts}
  let trafficPaused = false;

  const $ = (id) => document.getElementById(id);

  function element(tag, attributes = {}, ...children) {
    const e = document.createElement(tag);
    for (const [name, value] of Object.entries(attributes)) {
      if (value === null || value === undefined || value === false) continue;
      if (name === 'text') e.textContent = value;
      else if (name === 'className') e.className = value;
      else e.setAttribute(name, value === true ? '' : String(value));
    }
    for (const child of children) if (child) e.append(child);
    return e;
  }

  async function getJson(path) {
    // Plain, so that the page's preloads of the same answers are taken.
    const response = await fetch(API + path);
    if (!response.ok) throw new Error(`${path}: ${response.status} ${response.statusText}`);
    return response.json();
  }

  function setConnection(text, ok) {
    const status = $('connection');
    if (status.textContent !== text) status.textContent = text;
    status.classList.toggle('down', !ok);
  }

  // ---- Commands ----

  async function send(projector, command, digits, show) {
    const body = digits === undefined ? {command} : {command, digits};
    show(`Sending ${command}…`, 'busy');
    try {
      const response = await fetch(`${API}/projectors/${encodeURIComponent(projector)}/command`, {
        method: 'POST',
        headers: {'Content-Type': 'application/json', Accept: 'application/json'},
        body: JSON.stringify(body),
      });
      const result = await response.json().catch(() => ({error: response.statusText}));
      if (result.error) {
        show(result.error, 'error');
      } else {
        const sent = result.command.replace(/\r$/, '');
        const said = result.phrase || result.rendering.trim() || '(nothing)';
        show(`${sent}: ${result.outcome}${result.outcome === 'answered' || result.outcome === 'not understood'
          ? ' ' + said : ''}`, result.outcome === 'answered' ? 'ok' : 'error');
      }
    } catch (e) {
      show(`${command}: the service did not answer (${e.message})`, 'error');
    }
  }

  // ---- Cards ----

  function controlLabel(control, state) {
    return `${control.name}, ${state.displayName}`;
  }

  function buildCard(state) {
    const id = `card-${state.name}`;
    const title = element('h3', {id: `${id}-title`, text: state.displayName});
    const line = element('span', {className: 'badge line'});
    const power = element('span', {className: 'badge power'});
    const head = element('div', {className: 'card-head'}, title,
      element('p', {className: 'badges'}, power, line));
    const problem = element('p', {className: 'line-problem', hidden: true});
    const facts = element('dl', {className: 'facts'});
    const fact = (label, wide) => {
      const value = element('dd');
      facts.append(element('div', {className: wide ? 'wide' : null}, element('dt', {text: label}), value));
      return value;
    };
    const parts = {title, line, power, problem, facts: {
      input: fact('Input'), lamp: fact('Lamp'), faults: fact('Faults', true), temperatures: fact('Temperatures', true),
    }, buttons: [], volume: null};

    const groups = element('div', {className: 'groups'});
    for (const group of controls) {
      const labelId = `${id}-${group.key}`;
      const label = element('span', {id: labelId, className: 'group-label', text: group.label});
      const buttons = element('div', {className: 'buttons'});
      if (group.key === 'volume') {
        parts.volume = element('span', {className: 'volume', 'aria-live': 'off'});
        label.append(' ', parts.volume);
      }
      for (const control of group.controls) {
        const button = element('button', {
          type: 'button', 'data-projector': state.name, 'data-command': control.command,
          'aria-label': controlLabel(control, state), text: control.label,
          className: group.key === 'volume' ? 'step' : null,
        });
        button.dataset.group = group.key;
        if (control.state !== null) button.dataset.state = JSON.stringify(control.state);
        parts.buttons.push(button);
        buttons.append(button);
      }
      groups.append(element('div', {role: 'group', 'aria-labelledby': labelId, className: `group ${group.key}`},
        label, buttons));
    }
    parts.result = element('p', {className: 'result', role: 'status', 'aria-live': 'polite'});
    const card = element('article', {id, className: 'card', 'data-projector': state.name,
      'aria-labelledby': `${id}-title`}, head, problem, facts, groups, parts.result);
    return {element: card, parts, state};
  }

  function faultsText(faults) {
    const found = Object.entries(faults).filter(([, level]) => level !== 'none')
      .map(([part, level]) => `${FAULT_PARTS[part] || part}: ${level}`);
    return found.length ? found.join(', ') : 'None';
  }

  function updateCard(card, state) {
    const {parts} = card;
    card.state = state;
    const el = card.element;
    el.dataset.power = state.power;
    el.dataset.line = state.line;
    el.classList.toggle('problem', state.problem);
    parts.title.textContent = state.displayName;
    parts.power.textContent = POWER[state.power] || state.power;
    parts.power.dataset.power = state.power;
    parts.line.textContent = state.line === 'up' ? 'Line up' : 'Line down';
    parts.line.dataset.line = state.line;
    parts.problem.textContent = state.line === 'up' ? '' : state.lineProblem;
    parts.problem.hidden = state.line === 'up' || !state.lineProblem;
    parts.facts.input.textContent = state.inputName || 'Unknown';
    const lamp = LAMP[state.lamp] || state.lamp;
    parts.facts.lamp.textContent = state.lampHours !== null ? `${state.lampHours} h (${lamp})`
      : state.lamp === 'unknown' ? 'Unknown' : `${lamp[0].toUpperCase()}${lamp.slice(1)}`;
    parts.facts.temperatures.textContent = state.temperatures === null ? 'Unknown'
      : state.temperatures.map((t) => t.toFixed(1)).join(' / ') + ' °C';
    // The faults come with the power state: before an answer they are not known either.
    parts.facts.faults.textContent = state.power === 'unknown' && !state.problem ? 'Unknown' : faultsText(state.faults);
    parts.facts.faults.classList.toggle('bad', state.problem);
    if (parts.volume) parts.volume.textContent = state.volume === null ? '' : String(state.volume);
    for (const button of parts.buttons) {
      button.disabled = !state.lineOpen;
      if (button.dataset.state === undefined) continue;
      const wanted = JSON.parse(button.dataset.state);
      const now = state[button.dataset.group];
      button.setAttribute('aria-pressed', String(now === wanted));
    }
  }

  function renderCards(list) {
    const container = $('cards');
    const seen = new Set();
    for (const state of list) {
      seen.add(state.name);
      let card = cards.get(state.name);
      if (!card) {
        card = buildCard(state);
        cards.set(state.name, card);
      }
      container.append(card.element);  // in the service's order
      updateCard(card, state);
    }
    for (const [name, card] of cards) {
      if (!seen.has(name)) {
        card.element.remove();
        cards.delete(name);
      }
    }
    $('no-projectors').hidden = list.length > 0;
    fillProjectorChoices();
    if (!performance.getEntriesByName('cards').length) performance.mark('cards');
  }

  function cardResult(name) {
    return (text, kind) => {
      const card = cards.get(name);
      if (!card) return;
      card.parts.result.textContent = text;
      card.parts.result.dataset.kind = kind;
    };
  }

  // ---- Live updates ----

  // One stream a page: every projector's state and the traffic of the one chosen. A browser keeps
  // six connections to a host at most, so a page that is hidden or left lets go of its stream.
  let events = null;

  function connectEvents() {
    if (events) events.close();
    events = null;
    if (document.hidden) return;
    const projector = $('traffic-projector').value;
    const query = projector ? `?traffic=${encodeURIComponent(projector)}` : '';
    const source = new EventSource(`${API}/events${query}`);
    source.addEventListener('open', () => setConnection('Live', true));
    source.addEventListener('error', () => {
      setConnection('Connection lost: trying again…', false);
      // The browser tries again by itself, unless the service refused the stream: then after a while.
      if (source.readyState !== EventSource.CLOSED) return;
      setTimeout(() => {
        if (events && events.source === source) connectEvents();
      }, 5000);
    });
    source.addEventListener('projectors', (e) => renderCards(JSON.parse(e.data)));
    source.addEventListener('state', (e) => {
      const state = JSON.parse(e.data);
      const card = cards.get(state.name);
      if (card) updateCard(card, state);
    });
    source.addEventListener('traffic', (e) => appendTraffic(JSON.parse(e.data)));
    events = {source, projector};
  }

  function disconnectEvents() {
    if (events) events.source.close();
    events = null;
    setConnection('Paused while the page is hidden', true);
  }

  // ---- Projector choices of the reference and the traffic ----

  function fillProjectorChoices() {
    for (const select of [$('reference-projector'), $('traffic-projector')]) {
      const chosen = select.value;
      select.replaceChildren(...[...cards.values()].map((c) =>
        element('option', {value: c.state.name, text: `${c.state.displayName} (${c.state.name})`})));
      if (cards.has(chosen)) select.value = chosen;
    }
    if (reference.length) updateReferenceSend();
    if (events && events.projector !== $('traffic-projector').value) connectEvents();
  }

  // ---- Command reference ----

  function currentList() {
    const checked = document.querySelector('input[name="reference-list"]:checked');
    return reference.find((l) => l.key === (checked ? checked.value : 'basic')) || reference[0];
  }

  function currentItem() {
    const list = currentList();
    const index = Number($('reference-item').value);
    return list && Number.isInteger(index) ? list.items[index] : undefined;
  }

  function fillReferenceItems() {
    const list = currentList();
    const select = $('reference-item');
    const words = $('reference-filter').value.trim().toLowerCase().split(/\s+/).filter(Boolean);
    const options = [];
    list.items.forEach((item, index) => {
      const text = item.text.toLowerCase();
      if (words.every((w) => text.includes(w))) options.push(element('option', {value: index, text: item.text}));
    });
    select.replaceChildren(...options);
    if (options.length) select.selectedIndex = 0;
    $('reference-count').textContent = `(${options.length} of ${list.items.length})`;
    updateReferenceSend();
  }

  function updateReferenceSend() {
    const item = currentItem();
    const button = $('reference-send');
    button.dataset.projector = $('reference-projector').value;
    button.dataset.command = item ? item.command : '';
    button.disabled = !item || !cards.size;
    const field = $('reference-digits-field');
    field.hidden = !item || item.marks === 0;
    if (item && item.marks > 0) {
      $('reference-marks').textContent = item.marks === 1 ? '% mark (1 digit)' : `% marks (${item.marks} digits)`;
      $('reference-digits').maxLength = item.marks;
    }
  }

  function setupReference() {
    const lists = $('reference-lists');
    reference.forEach((list, i) => {
      const id = `reference-list-${list.key}`;
      const input = element('input', {type: 'radio', name: 'reference-list', id, value: list.key, checked: i === 0});
      lists.append(element('div', {className: 'choice'}, input, element('label', {for: id, text: list.label})));
    });
    lists.addEventListener('change', fillReferenceItems);
    $('reference-filter').addEventListener('input', fillReferenceItems);
    $('reference-item').addEventListener('change', updateReferenceSend);
    $('reference-projector').addEventListener('change', updateReferenceSend);
    $('reference-form').addEventListener('submit', (e) => {
      e.preventDefault();
      const item = currentItem();
      const projector = $('reference-projector').value;
      if (!item || !projector) return;
      const show = (text, kind) => {
        const out = $('reference-result');
        out.textContent = text;
        out.dataset.kind = kind;
      };
      // The service fills the marks in, by the command list window's rule.
      send(projector, item.item, item.marks > 0 ? $('reference-digits').value : undefined, show);
    });
    fillReferenceItems();
  }

  // ---- Traffic ----

  function appendTraffic(event) {
    if (trafficPaused) return;
    const log = $('traffic-log');
    const atEnd = log.scrollTop + log.clientHeight >= log.scrollHeight - 4;
    log.append(element('span', {className: `t ${event.direction === 'RX' ? 'rx' : 'tx'}`, text: event.line + '\n'}));
    while (log.childElementCount > TRAFFIC_LINES) log.firstElementChild.remove();
    if (atEnd) log.scrollTop = log.scrollHeight;
    const legend = $('traffic-legend');
    if (event.blank) legend.dataset.blank = 'true';
    if (event.cr) legend.dataset.cr = 'true';
    const parts = [];
    if (legend.dataset.blank) parts.push('_ :Space (0x20)');
    if (legend.dataset.cr) parts.push('[CR] :Carriage Return Code (0x0D)');
    legend.textContent = parts.join('   ');
  }

  function setupTraffic() {
    $('traffic-projector').addEventListener('change', () => {
      $('traffic-log').replaceChildren();
      connectEvents();
    });
    $('traffic-pause').addEventListener('click', (e) => {
      trafficPaused = !trafficPaused;
      e.currentTarget.setAttribute('aria-pressed', String(trafficPaused));
    });
    $('traffic-clear').addEventListener('click', () => $('traffic-log').replaceChildren());
  }

  // ---- Start ----

  async function start() {
    $('cards').addEventListener('click', (e) => {
      const button = e.target.closest('button[data-command]');
      if (!button || button.disabled) return;
      const name = button.dataset.projector;
      send(name, button.dataset.command, undefined, cardResult(name));
    });
    document.addEventListener('visibilitychange', () => (document.hidden ? disconnectEvents() : connectEvents()));
    window.addEventListener('pagehide', disconnectEvents);
    window.addEventListener('pageshow', (e) => { if (e.persisted) connectEvents(); });
    // The cards first; the command reference (the larger answer) comes beside them.
    const referenceReady = getJson('/commands').then((lists) => {
      reference = lists;
      setupReference();
    });
    try {
      let list;
      [controls, list] = await Promise.all([getJson('/controls'), getJson('/projectors')]);
      setupTraffic();
      renderCards(list);
      connectEvents();
      await referenceReady;
    } catch (e) {
      setConnection(`The service did not answer: ${e.message}`, false);
    }
  }

  start();
})();
