// test_plan.cpp: reading a plan, judging the bounds, and the JUnit file.
#include "test_plan.h"

#include "profile_file.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdio>

namespace velkor::ctl {
namespace {

constexpr size_t MAX_PLAN_BYTES = size_t{1} << 20;

struct StepKey {
  const char* key;
  const char* flag;  // the command's option it stands for; "" for a switch handled apart
  bool whole;        // a whole number
};

constexpr StepKey STEP_KEYS[] = {
    {"for_s", "--for", false},   {"speed_rpm", "--speed", true}, {"from_rpm", "--from", true},
    {"to_rpm", "--to", true},    {"steps", "--steps", true},
};

std::optional<Command> RunByName(const QString& run) {
  if (run == "analyze") return Command::Analyze;
  if (run == "crawl") return Command::Crawl;
  if (run == "sweep") return Command::Sweep;
  if (run == "tune") return Command::Tune;
  return std::nullopt;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.10g", value);
  return text;
}

std::string Time(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f", seconds);
  return text;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out += c;
    }
  }
  return out;
}

// The step's arguments as its command line would give them, or an error.
std::optional<std::vector<std::string>> StepArguments(const QJsonObject& step, Command run, std::string& error) {
  std::vector<std::string> args;
  for (auto it = step.begin(); it != step.end(); ++it) {
    const std::string key = it.key().toStdString();
    if (key == "run" || key == "bounds" || key == "name") continue;
    if (run == Command::Tune && key == "then") {
      if (!it.value().isString() || (it.value().toString() != "keep" && it.value().toString() != "revert")) {
        error = "\"then\" takes \"keep\" or \"revert\"";
        return std::nullopt;
      }
      args.push_back("--" + it.value().toString().toStdString());
      continue;
    }
    if (run == Command::Tune && key == "save") {
      if (!it.value().isBool()) {
        error = "\"save\" takes true or false";
        return std::nullopt;
      }
      if (it.value().toBool()) args.emplace_back("--save");
      continue;
    }
    const StepKey* known = nullptr;
    for (const StepKey& k : STEP_KEYS) {
      if (key == k.key) known = &k;
    }
    if (!known) {
      error = "unknown key \"" + key + "\"";
      return std::nullopt;
    }
    if (!it.value().isDouble()) {
      error = "\"" + key + "\" takes a number";
      return std::nullopt;
    }
    args.push_back(std::string(known->flag) + "=" + Number(it.value().toDouble()));
  }
  return args;
}

std::optional<Bound> ParseBound(const QString& figure, const QJsonValue& value, std::string& error) {
  Bound bound;
  bound.figure = figure.toStdString();
  if (bound.figure.empty() || !value.isObject()) {
    error = "the bound on \"" + bound.figure + "\" is not an object with \"min\" and/or \"max\"";
    return std::nullopt;
  }
  const QJsonObject limits = value.toObject();
  for (auto it = limits.begin(); it != limits.end(); ++it) {
    if ((it.key() != "min" && it.key() != "max") || !it.value().isDouble()) {
      error = "the bound on \"" + bound.figure + "\" takes only \"min\" and \"max\", as numbers";
      return std::nullopt;
    }
    (it.key() == "min" ? bound.min : bound.max) = it.value().toDouble();
  }
  if (!bound.min && !bound.max) {
    error = "the bound on \"" + bound.figure + "\" has neither \"min\" nor \"max\"";
    return std::nullopt;
  }
  if (bound.min && bound.max && *bound.min > *bound.max) {
    error = "the bound on \"" + bound.figure + "\" has its \"min\" above its \"max\"";
    return std::nullopt;
  }
  return bound;
}

std::optional<PlanStep> ParseStep(const QJsonValue& value, size_t index, const Invocation& base, std::string& error) {
  const std::string where = "step " + std::to_string(index + 1) + ": ";
  if (!value.isObject()) {
    error = where + "not an object";
    return std::nullopt;
  }
  const QJsonObject step = value.toObject();
  const auto run = RunByName(step.value("run").toString());
  if (!run) {
    error = where + "\"run\" takes \"analyze\", \"crawl\", \"sweep\" or \"tune\"";
    return std::nullopt;
  }
  const auto args = StepArguments(step, *run, error);
  if (!args) {
    error = where + error;
    return std::nullopt;
  }
  const std::vector<std::string_view> views(args->begin(), args->end());
  Parsed parsed = ParseMeasuring(*run, views, base);
  if (!parsed.invocation) {
    error = where + parsed.error;
    return std::nullopt;
  }
  PlanStep result;
  result.invocation = std::move(*parsed.invocation);
  result.invocation.json = true;
  result.name = step.contains("name") ? step.value("name").toString().toStdString()
                                      : step.value("run").toString().toStdString() + " " + std::to_string(index + 1);
  if (!step.value("bounds").isObject() && step.contains("bounds")) {
    error = where + "\"bounds\" is not an object";
    return std::nullopt;
  }
  const QJsonObject bounds = step.value("bounds").toObject();
  for (auto it = bounds.begin(); it != bounds.end(); ++it) {
    auto bound = ParseBound(it.key(), it.value(), error);
    if (!bound) {
      error = where + error;
      return std::nullopt;
    }
    result.bounds.push_back(std::move(*bound));
  }
  return result;
}

// The number at `path` in `figures`: unset when it is missing or unknown, with `why`.
std::optional<double> Figure(const QJsonValue& figures, const std::string& path, std::string& why) {
  QJsonValue at = figures;
  for (const QString& part : QString::fromStdString(path).split('.')) {
    bool isIndex = false;
    const int index = part.toInt(&isIndex);
    if (at.isArray() && isIndex && index >= 0 && index < at.toArray().size()) at = at.toArray().at(index);
    else if (at.isObject() && at.toObject().contains(part)) at = at.toObject().value(part);
    else {
      why = "no such figure";
      return std::nullopt;
    }
  }
  if (at.isNull()) {
    why = "unknown";
    return std::nullopt;
  }
  if (at.isBool()) return at.toBool() ? 1.0 : 0.0;
  if (!at.isDouble()) {
    why = "not a number";
    return std::nullopt;
  }
  return at.toDouble();
}

std::string Limits(const Bound& b) {
  if (b.min && b.max) return Number(*b.min) + " .. " + Number(*b.max);
  return b.min ? "min " + Number(*b.min) : "max " + Number(*b.max);
}

}  // namespace

std::optional<Plan> ParsePlan(const std::string& text, const Invocation& base, std::string& error) {
  if (text.size() > MAX_PLAN_BYTES) {
    error = "too large for a plan (over 1 MiB)";
    return std::nullopt;
  }
  QJsonParseError parseError;
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(text), &parseError);
  if (parseError.error != QJsonParseError::NoError) {
    error = "not JSON (" + parseError.errorString().toStdString() + " at byte " + std::to_string(parseError.offset) + ")";
    return std::nullopt;
  }
  std::string twice;
  if (const auto offset = DuplicateKey(text, twice)) {
    error = "\"" + twice + "\" is written twice, again at byte " + std::to_string(*offset);
    return std::nullopt;
  }
  const QJsonValue steps = document.object().value("steps");
  if (!document.isObject() || !steps.isArray() || steps.toArray().isEmpty()) {
    error = "a plan is an object with a non-empty \"steps\" array";
    return std::nullopt;
  }
  Plan plan;
  for (qsizetype i = 0; i < steps.toArray().size(); ++i) {
    auto step = ParseStep(steps.toArray().at(i), static_cast<size_t>(i), base, error);
    if (!step) return std::nullopt;
    plan.steps.push_back(std::move(*step));
  }
  return plan;
}

std::string PlanFileErrorText(const ProfileError& error) {
  if (error.kind == ProfileErrorKind::NotARegularFile)
    return error.file + ": not a regular file (a FIFO, a device or a socket); plans are ordinary files";
  return ProfileErrorText(error, Language::English);
}

std::optional<std::string> JunitUnwritable(const std::string& path) {
  if (path.empty()) return std::nullopt;
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (!S_ISREG(st.st_mode)) return "cannot write " + path + ": not a regular file";
    if (access(path.c_str(), W_OK) != 0) return "cannot write " + path + ": " + std::strerror(errno);
    return std::nullopt;
  }
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  if (access(folder.c_str(), W_OK | X_OK) != 0) return "cannot write " + path + ": " + std::strerror(errno);
  return std::nullopt;
}

std::vector<BoundResult> JudgeStep(const PlanStep& step, const std::string& figuresJson, const std::string& why,
                                   double seconds) {
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(figuresJson));
  std::vector<BoundResult> results;
  for (const Bound& bound : step.bounds) {
    BoundResult r{step.name, bound, Verdict::Unknown, std::nullopt, why, seconds};
    if (!document.isNull()) r.value = Figure(document.isObject() ? QJsonValue(document.object()) : QJsonValue(document.array()), bound.figure, r.why);
    if (r.value) {
      const bool held = (!bound.min || *r.value >= *bound.min) && (!bound.max || *r.value <= *bound.max);
      r.verdict = held ? Verdict::Held : Verdict::Failed;
      r.why = held ? "" : (bound.max && *r.value > *bound.max ? "above " + Number(*bound.max) : "below " + Number(*bound.min));
    }
    results.push_back(std::move(r));
  }
  return results;
}

std::string VerdictText(const std::vector<BoundResult>& results) {
  std::string text;
  size_t held = 0, failed = 0;
  for (const BoundResult& r : results) {
    const char* word = r.verdict == Verdict::Held ? "PASS" : r.verdict == Verdict::Failed ? "FAIL" : "UNKNOWN";
    held += r.verdict == Verdict::Held;
    failed += r.verdict == Verdict::Failed;
    text += std::string(word) + "  " + r.step + ": " + r.bound.figure + " = " + (r.value ? Number(*r.value) : "?") +
            " (" + Limits(r.bound) + ")" + (r.why.empty() ? "" : ": " + r.why) + "\n";
  }
  text += std::to_string(results.size()) + " bounds: " + std::to_string(held) + " held, " + std::to_string(failed) +
          " failed, " + std::to_string(results.size() - held - failed) + " could not be told\n";
  return text;
}

std::string JunitXml(const std::string& planName, const std::vector<BoundResult>& results) {
  size_t failures = 0, errors = 0;
  double seconds = 0;
  std::string cases;
  std::string lastStep;
  for (const BoundResult& r : results) {
    failures += r.verdict == Verdict::Failed;
    errors += r.verdict == Verdict::Unknown;
    if (r.step != lastStep) seconds += r.seconds;
    lastStep = r.step;
    cases += "    <testcase classname=\"" + Escape(r.step) + "\" name=\"" + Escape(r.bound.figure + " " + Limits(r.bound)) +
             "\" time=\"" + Time(r.seconds) + "\"";
    const std::string message = r.bound.figure + " = " + (r.value ? Number(*r.value) : "?") +
                                (r.why.empty() ? "" : ": " + r.why);
    if (r.verdict == Verdict::Held) cases += "/>\n";
    else if (r.verdict == Verdict::Failed) cases += ">\n      <failure message=\"" + Escape(message) + "\"/>\n    </testcase>\n";
    else cases += ">\n      <error message=\"" + Escape(message) + "\"/>\n    </testcase>\n";
  }
  const std::string counts = " tests=\"" + std::to_string(results.size()) + "\" failures=\"" +
                             std::to_string(failures) + "\" errors=\"" + std::to_string(errors) + "\"";
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites" + counts + ">\n  <testsuite name=\"" +
         Escape(planName) + "\"" + counts + " time=\"" + Time(seconds) + "\">\n" + cases + "  </testsuite>\n</testsuites>\n";
}

int PlanExitStatus(const std::vector<BoundResult>& results) {
  bool unknown = false;
  for (const BoundResult& r : results) {
    if (r.verdict == Verdict::Failed) return EXIT_DIFFERS;
    unknown |= r.verdict == Verdict::Unknown;
  }
  return unknown ? EXIT_FAILED : EXIT_DONE;
}

}  // namespace velkor::ctl
