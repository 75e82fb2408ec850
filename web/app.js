// The remote page: every station that publishes to this broker, its fleet and its 24 pumps,
// live. A value that may be frozen is never shown as a live one:
// - a station is "offline" when its retained state says so (its own last word at a clean
//   exit, or the broker's will for it after any other end);
// - it is "stale" when no heartbeat has arrived for 5 s, timed on this computer's own
//   monotonic clock from the heartbeats' arrival;
// - a pump is stale when its sample is more than 5 s older than the station's latest
//   heartbeat. Both are times of the station's clock, so this computer's clock never enters.
// While a station is not live every value of it is shown as stale.
"use strict";

(function () {
  const STALE_MS = 5000;
  const PUMPS = 24;
  const TOPICS = ["vnk/+/+/state", "vnk/+/+/heartbeat", "vnk/+/+/fleet", "vnk/+/+/pump/+"];

  const stations = new Map(); // "site/station" (the topic levels) -> station
  const now = () => performance.now();

  // ---- reading what arrives ----

  function num(v) {
    return typeof v === "number" && isFinite(v) ? v : null;
  }
  function obj(v) {
    return v !== null && typeof v === "object" && !Array.isArray(v) ? v : null;
  }

  function stationFor(key) {
    let s = stations.get(key);
    if (!s) {
      s = { key: key, state: null, heartbeat: null, heartbeatAt: null, firstSeenAt: now(),
            fleet: null, pumps: new Array(PUMPS + 1).fill(null), view: null };
      stations.set(key, s);
    }
    return s;
  }

  // One message; anything malformed is dropped without touching what is shown.
  function take(topic, text) {
    const levels = topic.split("/");
    if (levels.length < 4 || levels[0] !== "vnk") return;
    const key = levels[1] + "/" + levels[2];
    const what = levels.slice(3).join("/");
    if (what === "state" && text === "") { // the retained state cleared: the station is gone
      const s = stations.get(key);
      if (s && s.view) s.view.root.remove();
      stations.delete(key);
      return;
    }
    let body;
    try {
      body = obj(JSON.parse(text));
    } catch (e) {
      body = null;
    }
    if (!body) return;
    if (what === "state") {
      if (body.state !== "online" && body.state !== "offline") return;
      const s = stationFor(key);
      s.state = body;
      if (body.state === "online") s.firstSeenAt = now();
    } else if (what === "heartbeat") {
      if (num(body.time_ms) === null) return;
      const s = stationFor(key);
      s.heartbeat = body;
      s.heartbeatAt = now();
    } else if (what === "fleet") {
      if (num(body.time_ms) === null) return;
      stationFor(key).fleet = body;
    } else if (levels.length === 5 && levels[3] === "pump") {
      const n = Number(levels[4]);
      if (!Number.isInteger(n) || n < 1 || n > PUMPS) return;
      stationFor(key).pumps[n] = body;
    }
    schedule();
  }

  // ---- judging what is live ----

  // "live", "waiting" (online, no heartbeat yet seen by this page), "stale" or "offline",
  // with the words that say why.
  function stationStatus(s, t) {
    if (s.state && s.state.state === "offline") {
      return { status: "offline", label: "OFFLINE",
               note: s.heartbeat ? "last heartbeat " + clock(s.heartbeat.time_ms) : "" };
    }
    const since = s.heartbeatAt !== null ? s.heartbeatAt : s.firstSeenAt;
    const age = t - since;
    if (age > STALE_MS) {
      return { status: "stale", label: "STALE",
               note: (s.heartbeatAt !== null ? "no heartbeat for " : "no heartbeat seen for ") +
                     Math.floor(age / 1000) + " s" };
    }
    if (s.heartbeatAt === null) return { status: "waiting", label: "WAITING", note: "for a heartbeat" };
    return { status: "live", label: "LIVE", note: "" };
  }

  // What a pump's tile shows: its state, whether its values may be frozen, and the flag line.
  function pumpStatus(p, heartbeatMs, stationLive) {
    if (!p) return { state: "nodata", stale: !stationLive, flag: "No data" };
    if (p.configured === false) return { state: "unconfigured", stale: false, flag: "Not configured" };
    let state = "running";
    let flag = "";
    if (p.online !== true) {
      state = "offline";
      flag = p.port_lost === true ? "PORT LOST" : "OFF LINE";
    } else if (p.tripped === true) {
      state = "tripped";
      flag = "TRIPPED";
    } else if (p.drive_on === false) {
      state = "off";
      flag = "DRIVE OFF";
    } else if (Array.isArray(p.alarms) && p.alarms.length > 0) {
      flag = String(p.alarms[0]);
    }
    let stale = !stationLive;
    const sample = num(p.sample_ms);
    if (!stale && state !== "offline" && heartbeatMs !== null) {
      if (sample === null || sample <= 0 || heartbeatMs - sample > STALE_MS) {
        stale = true;
        flag = sample > 0 ? "STALE " + Math.floor((heartbeatMs - sample) / 1000) + " s" : "STALE";
      } else if (sample - heartbeatMs > STALE_MS) {
        // Ahead of the station's own clock: sampled before the station's clock was set back,
        // so its age cannot be told.
        stale = true;
        flag = "STALE";
      }
    }
    return { state: state, stale: stale, flag: flag };
  }

  // ---- showing it ----

  // Station times in this computer's time zone, 24-hour, as the station's own screens show
  // them.
  const two = (n) => String(n).padStart(2, "0");
  function clock(ms) {
    const d = new Date(ms);
    return two(d.getHours()) + ":" + two(d.getMinutes()) + ":" + two(d.getSeconds());
  }
  function dateAndClock(ms) {
    const d = new Date(ms);
    return d.getFullYear() + "-" + two(d.getMonth() + 1) + "-" + two(d.getDate()) + " " + clock(ms);
  }
  function fixed(v, digits) {
    const n = num(v);
    return n === null ? "----" : n.toFixed(digits);
  }
  function el(tag, cls, text) {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text !== undefined) e.textContent = text;
    return e;
  }
  // Writes only what changed, so that a steady page does no layout work.
  function setText(e, text) {
    if (e.textContent !== text) e.textContent = text;
  }
  function setData(e, name, value) {
    if (e.dataset[name] !== value) e.dataset[name] = value;
  }

  function total(parent, field, label, unit, word) {
    const box = el("div", word ? "total word" : "total");
    box.dataset.field = field;
    box.append(el("div", "label", label));
    const value = el("div", "value", "----");
    box.append(value);
    box.value = value;
    box.unit = unit || "";
    parent.append(box);
    return box;
  }
  function setTotal(box, text) {
    const want = box.unit ? text + "\u00a0" + box.unit : text;
    setText(box.value, want);
  }

  function buildStation(s) {
    const root = el("section", "station");
    root.dataset.station = s.key;
    const head = el("div", "station-head");
    const name = el("span", "station-name", s.key);
    const status = el("span", "status", "");
    const note = el("span", "status-note", "");
    const meta = el("span", "station-meta", "");
    head.append(name, status, note, meta);
    const totals = el("div", "totals");
    const t = {
      online: total(totals, "pumps_online", "Pumps On Line"),
      rate: total(totals, "rate_bpm", "Total Rate", "bbl/min"),
      psi: total(totals, "discharge_psi_avg", "Avg Discharge", "psi"),
      hhp: total(totals, "hhp", "Total HHP", "hhp"),
      volume: total(totals, "volume_bbl", "Total Volume", "bbl"),
      auto: total(totals, "auto", "Automatic Control", "", true),
      estop: total(totals, "estop", "E-Stop", "", true),
    };
    const alarms = el("ul", "alarms");
    const grid = el("div", "grid");
    const tiles = [null];
    for (let n = 1; n <= PUMPS; ++n) {
      const tile = el("div", "tile");
      tile.dataset.pump = String(n);
      const top = el("div", "head");
      const title = el("b", "", String(n));
      const id = el("span", "id", "");
      top.append(title, id);
      const row = (cls, unit) => {
        const r = el("div", "row");
        const v = el("span", "num " + cls, "----");
        r.append(v, el("span", "unit", unit));
        return [r, v];
      };
      const [r1, rpm] = row("rpm", "RPM");
      const [r2, psi] = row("psi", "PSI");
      const [r3, bpm] = row("bpm", "BPM");
      const flag = el("div", "flag", "");
      tile.append(top, r1, r2, r3, flag);
      grid.append(tile);
      tiles.push({ tile: tile, id: id, rpm: rpm, psi: psi, bpm: bpm, flag: flag });
    }
    root.append(head, totals, alarms, grid);
    return { root: root, name: name, status: status, note: note, meta: meta, totals: t,
             alarms: alarms, tiles: tiles, alarmText: "" };
  }

  function renderStation(s, t) {
    if (!s.view) s.view = buildStation(s);
    const v = s.view;
    const st = stationStatus(s, t);
    setData(v.root, "status", st.status);
    setText(v.status, st.label);
    setText(v.note, st.note);
    const state = s.state || {};
    const title = typeof state.site === "string" && typeof state.station === "string"
      ? state.site + " / " + state.station : s.key;
    setText(v.name, title);
    const meta = [];
    if (typeof state.version === "string") meta.push("version " + state.version);
    if (num(state.pumps_configured) !== null) meta.push(state.pumps_configured + " pumps configured");
    if (num(state.started_ms) !== null) meta.push("started " + dateAndClock(state.started_ms));
    setText(v.meta, meta.join(" \u00b7 "));

    const live = st.status === "live";
    const hb = s.heartbeat ? num(s.heartbeat.time_ms) : null;

    // Fleet totals: stale with the station, or when the fleet message lags the heartbeat.
    const f = s.fleet;
    const fleetStale = !live || !f || hb === null || hb - f.time_ms > STALE_MS;
    for (const box of Object.values(v.totals)) setData(box, "stale", String(fleetStale));
    setTotal(v.totals.online, f && num(f.pumps_online) !== null ? String(f.pumps_online) : "----");
    setTotal(v.totals.rate, fixed(f && f.rate_bpm, 1));
    setTotal(v.totals.psi, fixed(f && f.discharge_psi_avg, 0));
    setTotal(v.totals.hhp, fixed(f && f.hhp, 0));
    setTotal(v.totals.volume, fixed(f && f.volume_bbl, 1));
    const auto = f && obj(f.auto);
    let autoText = "----";
    if (auto) {
      if (auto.mode === "rate") autoText = "Hold Rate " + fixed(auto.target_bpm, 2) + " bbl/min";
      else if (auto.mode === "pressure") autoText = "Hold Pressure " + fixed(auto.target_psi, 0) + " psi";
      else if (auto.mode === "off") autoText = "Off";
    }
    setTotal(v.totals.auto, autoText);
    const estop = f && obj(f.estop);
    let estopText = "----";
    let alert = "";
    if (estop) {
      const input = typeof estop.input === "string" ? estop.input : "";
      if (estop.active === true) {
        estopText = "ACTIVE";
        alert = "red";
      } else {
        estopText = input === "closed" ? "Ready" : "Input " + input;
        if (input === "broken" || input === "failed") alert = "amber";
      }
    }
    setTotal(v.totals.estop, estopText);
    setData(v.totals.estop, "alert", alert);

    // Active alarms, newest first as the station sends them.
    const list = f && Array.isArray(f.alarms) ? f.alarms.filter(obj) : [];
    const alarmText = JSON.stringify(list);
    if (alarmText !== v.alarmText) {
      v.alarmText = alarmText;
      v.alarms.replaceChildren(...list.map((a) => {
        const who = num(a.pump) !== null ? "Pump " + a.pump : "Station";
        // Judged by the station's fields, never by its words: "active" or "cleared", and
        // acknowledged true or false.
        const acknowledged = a.acknowledged === true;
        const state = (a.state === "active" ? "Active" : a.state === "cleared" ? "Cleared" : "?") +
                      (acknowledged ? ", acknowledged" : ", unacknowledged");
        const li = el("li", "", who + " \u2014 " + String(a.kind || "") + ": " + String(a.name || "") +
                   " \u2014 " + state +
                   (num(a.time_ms) !== null ? " \u2014 " + clock(a.time_ms) : ""));
        if (acknowledged) li.className = "acknowledged";
        return li;
      }));
    }

    for (let n = 1; n <= PUMPS; ++n) {
      const p = s.pumps[n];
      const tv = v.tiles[n];
      const ps = pumpStatus(p, hb, live);
      setData(tv.tile, "state", ps.state);
      setData(tv.tile, "stale", String(ps.stale));
      setData(tv.tile, "sampleMs", p && num(p.sample_ms) !== null ? String(p.sample_ms) : "");
      setText(tv.id, p && typeof p.id === "string" ? p.id : "");
      const shown = p && p.configured !== false && p.online === true;
      setText(tv.rpm, shown ? fixed(p.motor_rpm, 0) : "----");
      setText(tv.psi, shown ? fixed(p.discharge_psi, 0) : "----");
      setText(tv.bpm, shown ? fixed(p.rate_bpm, 1) : "----");
      const extra = [];
      if (p && p.auto === true) extra.push("AUTO");
      if (p && num(p.group) !== null) extra.push("G" + p.group);
      setText(tv.flag, [ps.flag].concat(extra).filter(Boolean).join(" "));
    }
  }

  function render() {
    pending = null;
    const t = now();
    const list = document.getElementById("stations");
    const keys = Array.from(stations.keys()).sort();
    let live = 0, stale = 0, offline = 0;
    keys.forEach((key, i) => {
      const s = stations.get(key);
      renderStation(s, t);
      if (list.children[i] !== s.view.root) list.insertBefore(s.view.root, list.children[i] || null);
      const status = s.view.root.dataset.status;
      if (status === "live") ++live;
      else if (status === "offline") ++offline;
      else ++stale;
    });
    document.getElementById("empty").hidden = keys.length > 0;
    setText(document.getElementById("summary"), keys.length === 0 ? "" :
      keys.length + (keys.length === 1 ? " station: " : " stations: ") + live + " live, " +
      stale + " stale, " + offline + " offline");
  }

  let pending = null;
  function schedule() {
    if (pending === null) pending = setTimeout(render, 100);
  }

  // ---- the broker ----

  function brokerState(state, text) {
    const b = document.getElementById("broker");
    setData(b, "state", state);
    setData(document.body, "broker", state);
    setText(b, text);
  }

  function brokerUrl() {
    const asked = new URLSearchParams(location.search).get("broker");
    if (asked) return asked;
    if (!location.host) return null;
    return (location.protocol === "https:" ? "wss://" : "ws://") + location.host + "/mqtt";
  }

  function connect() {
    if (typeof mqtt === "undefined") {
      brokerState("lost", "The MQTT client (vendor/mqtt.min.js) is missing: run scripts/web_bundle.sh");
      return;
    }
    const url = brokerUrl();
    if (!url) {
      brokerState("lost", "Open this page from the broker (http://broker:port/), or add ?broker=ws://host:port");
      return;
    }
    const client = mqtt.connect(url, {
      clientId: "vnk-web-" + Math.random().toString(16).slice(2, 10),
      clean: true, keepalive: 10, connectTimeout: 10000, reconnectPeriod: 2000,
      protocolVersion: 4,
    });
    client.on("connect", () => {
      brokerState("connected", "Broker " + url.replace(/^wss?:\/\//, "").replace(/\/mqtt$/, ""));
      client.subscribe(TOPICS, { qos: 0 });
    });
    client.on("reconnect", () => brokerState("connecting", "Connecting to the broker"));
    client.on("close", () => {
      if (document.body.dataset.broker === "connected") brokerState("lost", "Broker connection lost, trying again");
    });
    client.on("error", (e) => brokerState("lost", "Broker: " + (e && e.message ? e.message : "error")));
    client.on("message", (topic, payload) => take(topic, payload.toString()));
    window.vnkRemote.client = client;
  }

  // For the browser tests: the judgements and the client, nothing else.
  window.vnkRemote = { stationStatus: stationStatus, pumpStatus: pumpStatus, take: take,
                       STALE_MS: STALE_MS, client: null };
  setInterval(render, 500); // ages advance with nothing arriving
  render();
  connect();
})();
