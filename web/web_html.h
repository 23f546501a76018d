// The dashboard's pages as HTML, written from plain values. Every text from
// the store or the request is escaped; no page holds a script of its own
// (the pages' one script is a file of the site), so the site's
// Content-Security-Policy forbids inline scripts.
#pragma once

#include <string>
#include <string_view>

#include "web/web_views.h"

namespace zx840 {

// &, <, >, " and ' as entities.
std::string HtmlEscape(std::string_view text);

// A whole page: head, the site's navigation, `body`.
std::string HtmlPage(std::string_view title, std::string_view body);

// The Line page; its live part (counts, Pareto, newest results) alone is
// what a watching browser fetches again.
std::string LineHtml(const LineView& view);
std::string LineLiveHtml(const LineView& view);
std::string SearchHtml(const SearchView& view);
std::string TypeHtml(const TypeView& view);

// A kept result as the panel shows it; `figures` are its plots as SVG.
struct ResultFigures {
    std::string waveform;
    std::string voltageSpectrum;
    std::string currentSpectrum;
};
std::string ResultHtml(const Result& result, const ResultFigures& figures);

// The page that takes the token once and gives a session.
std::string LoginHtml(bool refused);
// A refusal or a failure as a small page.
std::string MessageHtml(int status, std::string_view text);

// Numbers as the pages show them: fixed decimals, "-" for none.
std::string Number(const std::optional<double>& value, int decimals);

}  // namespace zx840
