#include "programs/check/usage_page.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "common/utf8.h"
#include "usage/day.h"

namespace glyphwork::check {

namespace {

// Inline, as the page must show the same offline and in a mail.
constexpr const char* kStyle = R"(
body { font-family: system-ui, "Segoe UI", "DejaVu Sans", sans-serif; margin: 1.5em; color: #1d232a; background: #fff; }
h1 { font-size: 1.5em; margin: 0 0 .2em; }
h2 { font-size: 1.15em; margin: 1.6em 0 .4em; }
p.range { margin: 0 0 1em; color: #4a5560; }
p.note { background: #fff6d9; border-left: 4px solid #e0b020; padding: .4em .8em; }
table { border-collapse: collapse; }
th, td { padding: .25em .8em; border-bottom: 1px solid #e3e7eb; text-align: left; vertical-align: middle; }
th { font-weight: 600; color: #4a5560; border-bottom: 2px solid #c9d1d9; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
td.code { font-family: ui-monospace, "DejaVu Sans Mono", Consolas, monospace; }
td.chart { padding-top: .1em; padding-bottom: .1em; }
svg.chart { display: block; }
svg.chart .frame { fill: #f1f4f7; }
svg.chart .bar { fill: #2f7fc1; }
tr.never td { color: #9aa3ab; }
tr.never td.chart { font-style: italic; }
tr.none td { color: #4a5560; font-style: italic; }
)";
constexpr int kChartWidth = 240;
constexpr int kChartHeight = 28;

std::string Plural(uint64_t count, const char* word) {
  return fmt::format("{} {}{}", count, word, count == 1 ? "" : "s");
}

struct CodeLine {
  usage::Key key;
  uint64_t messages = 0;
  std::map<int64_t, uint64_t> per_day;  // days with messages only
};

// As the text report orders them: most messages first, then by code and pack.
std::vector<CodeLine> Lines(const std::vector<const usage::Row*>& rows) {
  std::map<usage::Key, CodeLine> by_key;
  for (const usage::Row* row : rows) {
    if (row->messages == 0) continue;
    CodeLine& line = by_key[{row->code, row->pack}];
    line.key = {row->code, row->pack};
    line.messages += row->messages;
    line.per_day[row->day] += row->messages;
  }
  std::vector<CodeLine> lines;
  for (auto& [key, line] : by_key) lines.push_back(std::move(line));
  std::stable_sort(lines.begin(), lines.end(),
                   [](const CodeLine& a, const CodeLine& b) { return a.messages > b.messages; });
  return lines;
}

// One bar per day with messages, on a frame of all the days; each code's
// chart to its own busiest day, which the chart's title names.
std::string Chart(const CodeLine& line, int64_t first_day, int64_t last_day) {
  const int64_t days = last_day - first_day + 1;
  uint64_t peak = 0;
  int64_t peak_day = first_day;
  for (const auto& [day, messages] : line.per_day) {
    if (messages > peak) peak = messages, peak_day = day;
  }
  const std::string title =
      fmt::format("{} per day, {} to {}: {}, most {} on {}", HtmlText(line.key.code), usage::DayText(first_day),
                  usage::DayText(last_day), Plural(line.messages, "message"), peak, usage::DayText(peak_day));
  std::string svg =
      fmt::format(R"(<svg class="chart" role="img" aria-label="{0}" width="{1}" height="{2}" viewBox="0 0 {3} {4}" )"
                  R"(preserveAspectRatio="none"><title>{0}</title>)"
                  R"(<rect class="frame" x="0" y="0" width="{3}" height="{4}"/>)",
                  title, kChartWidth, kChartHeight, days, peak);
  for (const auto& [day, messages] : line.per_day) {
    if (day < first_day || day > last_day) continue;
    svg += fmt::format(R"(<rect class="bar" x="{}.1" y="{}" width="0.8" height="{}"><title>{}: {}</title></rect>)",
                       day - first_day, peak - messages, messages, usage::DayText(day), Plural(messages, "message"));
  }
  return svg + "</svg>";
}

std::string Table(const std::vector<CodeLine>& lines, const std::vector<usage::Key>& never_used, int64_t first_day,
                  int64_t last_day) {
  std::string out =
      "<table>\n<thead><tr><th>code</th><th>pack</th><th class=\"n\">messages</th><th class=\"n\">days</th>"
      "<th>last used</th><th>messages per day</th></tr></thead>\n<tbody>\n";
  if (lines.empty()) out += "<tr class=\"none\"><td colspan=\"6\">no message used an emoji</td></tr>\n";
  for (const CodeLine& line : lines) {
    out += fmt::format(
        "<tr class=\"used\"><td class=\"code\">{}</td><td class=\"pack\">{}</td><td class=\"n\">{}</td>"
        "<td class=\"n\">{}</td><td>{}</td><td class=\"chart\">{}</td></tr>\n",
        HtmlText(line.key.code), HtmlText(line.key.pack), line.messages, line.per_day.size(),
        usage::DayText(line.per_day.rbegin()->first), Chart(line, first_day, last_day));
  }
  for (const usage::Key& key : never_used) {
    out += fmt::format(
        "<tr class=\"never\"><td class=\"code\">{}</td><td class=\"pack\">{}</td><td class=\"n\">0</td>"
        "<td class=\"n\">0</td><td>never</td><td class=\"chart\">not used in these days</td></tr>\n",
        HtmlText(key.code), HtmlText(key.pack));
  }
  return out + "</tbody>\n</table>\n";
}

}  // namespace

std::string HtmlText(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  while (!text.empty()) {
    char32_t code = 0;
    const size_t length = DecodeUtf8(text, code);
    if (length == 0 || code < 0x20 || (code >= 0x7F && code < 0xA0)) {
      out += "\xEF\xBF\xBD";
    } else if (code == '&') {
      out += "&amp;";
    } else if (code == '<') {
      out += "&lt;";
    } else if (code == '>') {
      out += "&gt;";
    } else if (code == '"') {
      out += "&quot;";
    } else if (code == '\'') {
      out += "&#39;";
    } else {
      out.append(text.substr(0, length));
    }
    text.remove_prefix(length == 0 ? 1 : length);
  }
  return out;
}

std::string UsagePageHtml(const UsagePage& page) {
  // A row dated after today (a server whose clock runs ahead) still counts,
  // as in the text report, so the charts reach its day.
  int64_t last_day = page.last_day;
  for (const usage::Row& row : page.rows) last_day = std::max(last_day, row.day);
  const std::string range = fmt::format("{} to {} UTC", usage::DayText(page.first_day), usage::DayText(page.last_day));

  std::string out = fmt::format(
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<title>{0} ({1}), from {2}</title>\n<style>{3}</style>\n</head>\n<body>\n<h1>{0}</h1>\n"
      "<p class=\"range\">{1}, from <span class=\"database\">{2}</span></p>\n",
      HtmlText(page.heading), range, HtmlText(page.database), kStyle);
  for (const std::string& note : page.notes) out += "<p class=\"note\">" + HtmlText(note) + "</p>\n";

  std::map<std::string, std::vector<const usage::Row*>> by_server;
  std::vector<const usage::Row*> all;
  for (const usage::Row& row : page.rows) {
    by_server[row.server].push_back(&row);
    all.push_back(&row);
  }
  if (page.cluster) {
    for (const auto& [server, rows] : by_server) {
      out += fmt::format("<section class=\"server\">\n<h2>server {}</h2>\n",
                         server.empty() ? "(no name)" : HtmlText(server));
      out += Table(Lines(rows), {}, page.first_day, last_day) + "</section>\n";
    }
    out += fmt::format("<section class=\"total\">\n<h2>all {}</h2>\n", Plural(by_server.size(), "server"));
  } else {
    out += "<section class=\"total\">\n";
  }
  out += Table(Lines(all), page.never_used, page.first_day, last_day);
  if (!page.never_note.empty()) {
    out += "<p class=\"note\">" + HtmlText(page.never_note) + "</p>\n";
  } else {
    out += fmt::format("<p>never used in these {}: {} of {}</p>\n", Plural(page.last_day - page.first_day + 1, "day"),
                       page.never_used.size(), Plural(page.configured, "configured code"));
  }
  return out + "</section>\n</body>\n</html>\n";
}

}  // namespace glyphwork::check
