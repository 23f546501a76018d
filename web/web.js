// The dashboard's one script: draws the charts whose data the page holds
// in data- attributes, and keeps the live part of the Line page up to date.
"use strict";

(function () {
  const charts = [];

  function numbers(element, name) {
    const text = element.dataset[name];
    return text === undefined ? null : JSON.parse(text);
  }

  function flat(value, count, label, color) {
    return {
      type: "line", label: label, data: Array(count).fill(value), borderColor: color,
      borderDash: [6, 4], borderWidth: 1, pointRadius: 0, fill: false
    };
  }

  function config(canvas) {
    const kind = canvas.dataset.chart;
    const values = numbers(canvas, "values") || [];
    if (kind === "pareto") {
      const total = values.reduce((a, b) => a + b, 0);
      let sum = 0;
      const share = values.map(v => { sum += v; return total > 0 ? 100 * sum / total : 0; });
      return {
        type: "bar",
        data: {
          labels: numbers(canvas, "labels") || [],
          datasets: [
            { label: "Failures", data: values, backgroundColor: "#c0392b", yAxisID: "y" },
            { type: "line", label: "Cumulative %", data: share, borderColor: "#34495e",
              yAxisID: "share" }
          ]
        },
        options: {
          animation: false,
          scales: { y: { beginAtZero: true }, share: { position: "right", min: 0, max: 100 } }
        }
      };
    }
    if (kind === "individuals") {
      const labels = values.map((v, i) => i + 1);
      const sets = [{ label: canvas.dataset.label, data: values, borderColor: "#2c3e50",
                      pointRadius: 2, fill: false }];
      const lines = [["mean", "Mean", "#27ae60"], ["ucl", "+3\u03c3", "#e67e22"],
                     ["lcl", "-3\u03c3", "#e67e22"], ["usl", "Limit max", "#c0392b"],
                     ["lsl", "Limit min", "#c0392b"]];
      for (const [key, label, color] of lines) {
        const value = numbers(canvas, key);
        if (value !== null) {
          sets.push(flat(value, values.length, label, color));
        }
      }
      return { type: "line", data: { labels: labels, datasets: sets },
               options: { animation: false } };
    }
    const starts = numbers(canvas, "starts") || [];
    return {
      type: "bar",
      data: { labels: starts.map(s => s.toPrecision(4)),
              datasets: [{ label: "Results", data: values, backgroundColor: "#2980b9" }] },
      options: { animation: false, scales: { y: { beginAtZero: true } } }
    };
  }

  function draw(root) {
    if (typeof Chart === "undefined") {
      return;
    }
    for (const canvas of root.querySelectorAll("canvas[data-chart]")) {
      charts.push(new Chart(canvas, config(canvas)));
    }
  }

  function refresh(live) {
    fetch(live.dataset.src, { credentials: "same-origin" })
      .then(response => response.ok ? response.text() : Promise.reject(response.status))
      .then(text => {
        while (charts.length > 0) {
          charts.pop().destroy();
        }
        live.innerHTML = text;
        draw(document);
        live.dataset.refreshed = String(Number(live.dataset.refreshed || 0) + 1);
      })
      .catch(() => {});
  }

  document.addEventListener("DOMContentLoaded", () => {
    draw(document);
    const live = document.getElementById("live");
    if (live && live.dataset.src) {
      setInterval(() => refresh(live), 3000);
    }
  });
})();
