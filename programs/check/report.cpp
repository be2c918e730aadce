#include "programs/check/report.h"

#include <fmt/format.h>

namespace glyphwork::check {

namespace {

const char* SeverityName(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      return "note";
  }
  return "note";
}

std::string Counted(int count, const char* one, const char* many) {
  return fmt::format("{} {}", count, count == 1 ? one : many);
}

}  // namespace

int Report::Count(Severity severity) const {
  int count = 0;
  for (const Finding& finding : findings) count += finding.severity == severity;
  return count;
}

int Report::ExitStatus() const {
  if (Count(Severity::kError) > 0) return 2;
  return Count(Severity::kWarning) > 0 ? 1 : 0;
}

std::string FormatText(const Report& report) {
  std::string out;
  for (const Finding& finding : report.findings) {
    // The compilers' form, so that editors and terminals can jump to the place.
    std::string where = finding.file.empty() ? "glyphwork-check" : finding.file;
    if (finding.line > 0) where += fmt::format(":{}:{}", finding.line, finding.column);
    out += fmt::format("{}: {}: {}{}\n", where, SeverityName(finding.severity),
                       finding.key.empty() ? "" : finding.key + ": ", finding.message);
  }
  if (!report.previews.empty()) {
    out += report.preview_groups.empty() ? std::string("preview as a player in no permission group\n")
                                         : fmt::format("preview as a player in the permission groups {}\n",
                                                       fmt::join(report.preview_groups, ", "));
  }
  for (const Preview& preview : report.previews) {
    out += fmt::format("say: {}\n  => {}\n", preview.text, preview.received);
    for (const std::string& why : preview.stays_text) out += fmt::format("     {}\n", why);
  }
  out += fmt::format("{}, {} emoji, {}, {}{}\n", Counted(report.packs, "pack", "packs"), report.emoji,
                     Counted(report.Count(Severity::kError), "error", "errors"),
                     Counted(report.Count(Severity::kWarning), "warning", "warnings"),
                     report.textures_checked ? "" : ", textures not checked");
  return out;
}

nlohmann::json ToJson(const Report& report) {
  nlohmann::json findings = nlohmann::json::array();
  for (const Finding& finding : report.findings) {
    nlohmann::json entry = {{"severity", SeverityName(finding.severity)}, {"message", finding.message}};
    if (!finding.file.empty()) entry["file"] = finding.file;
    if (finding.line > 0) {
      entry["line"] = finding.line;
      entry["column"] = finding.column;
    }
    if (!finding.key.empty()) entry["key"] = finding.key;
    findings.push_back(std::move(entry));
  }
  nlohmann::json previews = nlohmann::json::array();
  for (const Preview& preview : report.previews) {
    nlohmann::json entry = {{"text", preview.text}, {"received", preview.received}};
    if (!preview.stays_text.empty()) entry["stays_text"] = preview.stays_text;
    previews.push_back(std::move(entry));
  }
  nlohmann::json out = {{"findings", std::move(findings)},
                        {"previews", std::move(previews)},
                        {"summary",
                         {{"packs", report.packs},
                          {"emoji", report.emoji},
                          {"errors", report.Count(Severity::kError)},
                          {"warnings", report.Count(Severity::kWarning)},
                          {"textures_checked", report.textures_checked}}},
                        {"status", report.ExitStatus()}};
  if (!report.previews.empty()) out["preview_groups"] = report.preview_groups;
  return out;
}

}  // namespace glyphwork::check
