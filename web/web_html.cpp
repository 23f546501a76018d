#include "web/web_html.h"

#include "draw/svg_output.h"

#include <cmath>

#include "draw/number_format.h"
#include "record/record_json.h"
#include "store/result.h"

namespace zx840 {
namespace {

std::string Attr(std::string_view name, std::string_view value) {
    std::string out = " ";
    out += name;
    out += "=\"";
    out += HtmlEscape(value);
    out += '"';
    return out;
}

std::string Cell(std::string_view text, bool number = false) {
    std::string out = number ? "<td class=\"num\">" : "<td>";
    out += HtmlEscape(text);
    out += "</td>";
    return out;
}

std::string Head(std::initializer_list<std::string_view> names) {
    std::string out = "<thead><tr>";
    for (const std::string_view name : names) {
        out += "<th>";
        out += HtmlEscape(name);
        out += "</th>";
    }
    out += "</tr></thead>";
    return out;
}

std::string YieldTable(const char* caption, const std::vector<YieldRow>& rows, const char* id) {
    std::string out = "<table class=\"yield\"";
    out += Attr("id", id);
    out += "><caption>";
    out += caption;
    out += "</caption>";
    out += Head({"Name", "Results", "PASS", "FAIL", "Yield %"});
    out += "<tbody>";
    for (const YieldRow& row : rows) {
        out += "<tr>" + Cell(row.name) + Cell(std::to_string(row.count), true) +
               Cell(std::to_string(row.passed), true) + Cell(std::to_string(row.failed), true) +
               Cell(Number(YieldPercent(row), 1), true) + "</tr>";
    }
    out += "</tbody></table>";
    return out;
}

std::string ParetoPart(const std::vector<CheckCount>& pareto) {
    std::string labels = "[";
    std::string values = "[";
    std::string rows;
    for (std::size_t i = 0; i < pareto.size() && i < 20; ++i) {
        const CheckCount& c = pareto[i];
        std::string label;
        JsonWriter(label).String(c.item);
        if (i > 0) {
            labels += ',';
            values += ',';
        }
        labels += label;
        values += std::to_string(c.count);
        rows += "<tr>" + Cell(c.item) + Cell(std::to_string(c.count), true) + "</tr>";
    }
    std::string out = "<section class=\"pareto\"><h2>Failing checks</h2>";
    out += "<canvas id=\"pareto\" data-chart=\"pareto\"" + Attr("data-labels", labels + "]") +
           Attr("data-values", values + "]") + "></canvas>";
    out += "<table>" + std::string(Head({"Check", "Failures"})) + "<tbody>" + rows +
           "</tbody></table></section>";
    return out;
}

std::string ResultLink(const Result& r) {
    return "<a href=\"/result/" + EncodeComponent(r.id) + "\">" + HtmlEscape(IsoTimeUtc(r.timeMs)) +
           "</a>";
}

std::string VerdictCell(const Result& r) {
    if (!r.verdict) {
        return "<td class=\"none\">-</td>";
    }
    return r.verdict->pass ? "<td class=\"pass\">PASS</td>" : "<td class=\"fail\">FAIL</td>";
}

std::string ResultRows(const std::vector<Result>& rows, const char* id) {
    std::string out = "<table class=\"results\"";
    out += Attr("id", id);
    out += ">";
    out += Head({"Time", "Station", "Type", "Number", "Verdict", "Failed checks"});
    out += "<tbody>";
    for (const Result& r : rows) {
        std::string failed;
        for (const std::string& item :
             r.verdict ? r.verdict->failedChecks : std::vector<std::string>{}) {
            failed += (failed.empty() ? "" : ", ") + item;
        }
        out += "<tr><td>" + ResultLink(r) + "</td>" + Cell(r.station) + "<td><a href=\"/type/" +
               EncodeComponent(r.mark.Type) + "\">" + HtmlEscape(r.mark.Type) + "</a></td>" +
               Cell(std::to_string(r.mark.Number), true) + VerdictCell(r) + Cell(failed) + "</tr>";
    }
    out += "</tbody></table>";
    return out;
}

std::string Option(std::string_view value, std::string_view label, std::string_view chosen) {
    return "<option" + Attr("value", value) + (value == chosen ? " selected" : "") + ">" +
           HtmlEscape(label) + "</option>";
}

std::string Input(std::string_view name, std::string_view label, const QueryParams& params,
                  std::string_view type = "text") {
    return "<label>" + HtmlEscape(label) + " <input" + Attr("type", type) + Attr("name", name) +
           Attr("value", Param(params, name).value_or("")) + "></label> ";
}

std::string PeriodForm(const QueryParams& params, std::string_view action) {
    const std::string chosen = Param(params, "period").value_or("today");
    std::string out = "<form class=\"period\" method=\"get\"" + Attr("action", action) + ">";
    out += "<label>Period <select name=\"period\">" + Option("today", "Today", chosen) +
           Option("8h", "Last 8 h", chosen) + Option("24h", "Last 24 h", chosen) +
           Option("7d", "Last 7 days", chosen) + Option("range", "From ... to ...", chosen) +
           "</select></label> ";
    out += Input("since", "From", params, "date") + Input("until", "To", params, "date");
    out += "<button type=\"submit\">Show</button></form>";
    return out;
}

}  // namespace

std::string HtmlEscape(std::string_view text) {
    return MarkupText(text);
}

std::string Number(const std::optional<double>& value, int decimals) {
    if (!value || !std::isfinite(*value)) {
        return "-";
    }
    return FormatFixed(*value, decimals);
}

std::string HtmlPage(std::string_view title, std::string_view body) {
    std::string out =
        "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
        "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
        "<title>";
    out += HtmlEscape(title);
    out +=
        " - ZX840 line</title><link rel=\"stylesheet\" href=\"/static/web.css\">"
        "<script src=\"/static/chart.js\" defer></script>"
        "<script src=\"/static/web.js\" defer></script></head><body>"
        "<nav><a href=\"/\">Line</a> <a href=\"/search\">Search</a></nav><main><h1>";
    out += HtmlEscape(title);
    out += "</h1>";
    out += body;
    out += "</main></body></html>\n";
    return out;
}

std::string LineLiveHtml(const LineView& view) {
    std::int64_t count = 0;
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    for (const TallyRow& t : view.tally) {
        count += t.count;
        passed += t.passed;
        failed += t.failed;
    }
    const YieldRow total{"", count, passed, failed};
    std::string out = "<p class=\"totals\">Results <b id=\"count\">" + std::to_string(count) +
                      "</b> PASS <b id=\"passed\">" + std::to_string(passed) +
                      "</b> FAIL <b id=\"failed\">" + std::to_string(failed) +
                      "</b> Yield <b id=\"yield\">" + Number(YieldPercent(total), 1) + "</b> %</p>";
    out += "<div class=\"tables\">" +
           YieldTable("By station", YieldOf(view.tally, YieldBy::Station), "by-station") +
           YieldTable("By type", YieldOf(view.tally, YieldBy::Type), "by-type") + "</div>";
    out += ParetoPart(view.pareto);
    out += "<h2>Newest results</h2>" + ResultRows(view.last, "last");
    return out;
}

std::string LineHtml(const LineView& view) {
    std::string body = PeriodForm(view.params, "/");
    body += "<p class=\"since\">Since " + HtmlEscape(IsoTimeUtc(view.period.sinceMs)) +
            (view.period.untilMs ? " until " + HtmlEscape(IsoTimeUtc(*view.period.untilMs)) : "") +
            "</p>";
    body += "<div id=\"live\"" + Attr("data-src", "/live?" + EncodeQuery(view.params)) + ">";
    body += LineLiveHtml(view);
    body += "</div>";
    return HtmlPage("Line", body);
}

std::string SearchHtml(const SearchView& view) {
    const QueryParams& p = view.params;
    const std::string verdict = Param(p, "verdict").value_or("");
    std::string body = "<form class=\"search\" method=\"get\" action=\"/search\">";
    body += Input("type", "Type", p) + Input("number", "Number or N-M", p) +
            Input("station", "Station", p);
    body += "<label>Verdict <select name=\"verdict\">" + Option("", "Any", verdict) +
            Option("PASS", "PASS", verdict) + Option("FAIL", "FAIL", verdict) +
            "</select></label> ";
    body += Input("since", "From", p, "date") + Input("until", "To", p, "date");
    body += "<button type=\"submit\">Search</button></form>";
    body += ResultRows(view.rows, "found");
    if (view.next) {
        body += "<p><a id=\"next\" href=\"/search?" +
                HtmlEscape(EncodeQuery(p, "cursor") + (p.size() > 0 ? "&" : "") +
                           "cursor=" + EncodeComponent(CursorText(*view.next))) +
                "\">Next page</a></p>";
    }
    return HtmlPage("Search", body);
}

std::string LoginHtml(bool refused) {
    std::string body = refused ? "<p class=\"fail\">The token was not accepted.</p>" : "";
    body +=
        "<form method=\"post\" action=\"/login\"><label>Token <input type=\"password\" "
        "name=\"token\" autocomplete=\"current-password\"></label> "
        "<button type=\"submit\">Sign in</button></form>";
    return HtmlPage("Sign in", body);
}

std::string MessageHtml(int status, std::string_view text) {
    return HtmlPage(std::to_string(status), "<p>" + HtmlEscape(text) + "</p>");
}

}  // namespace zx840
