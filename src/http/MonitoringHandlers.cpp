#include "http/MonitoringHandlers.hpp"

#include <array>
#include <cstdio>

#include "foundation/ClockDiscipline.hpp"

namespace veltrano {
namespace {

// Prometheus's text: "name{labels} value" lines under their HELP and TYPE.
class MetricsWriter {
 public:
  void family(const char* name, const char* type, const char* help) {
    out_ += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  }
  void sample(const std::string& name, const std::string& labels, double value) {
    std::array<char, 40> text{};
    std::snprintf(text.data(), text.size(), "%.17g", value);
    out_ += name + (labels.empty() ? "" : "{" + labels + "}") + " " + text.data() + "\n";
  }
  std::string take() { return std::move(out_); }

 private:
  std::string out_;
};

// Label values here are our own names; a store or source name never holds a quote.
std::string label(const char* name, const std::string& value) {
  return std::string(name) + "=\"" + value + "\"";
}

std::string bound(double seconds) {
  std::array<char, 24> text{};
  std::snprintf(text.data(), text.size(), "%g", seconds);
  return text.data();
}

void writeSounds(MetricsWriter& out, const SoundStatistics::Counts& counts) {
  out.family("veltrano_sounds_due_total", "counter",
             "Sounds that were due at a second (bells, programmes, the alarm), by source.");
  for (const auto& [source, count] : counts.due)
    out.sample("veltrano_sounds_due_total", label("source", source), static_cast<double>(count));
  out.family("veltrano_sounds_total", "counter",
             "Sounds by source and outcome: started, failed or skipped.");
  for (const auto& [key, count] : counts.sounds) {
    out.sample("veltrano_sounds_total",
               label("source", key.first) + "," + label("outcome", key.second),
               static_cast<double>(count));
  }
  out.family("veltrano_sound_lateness_seconds", "histogram",
             "How long after its second a due sound's player started.");
  std::uint64_t cumulative = 0;
  for (std::size_t i = 0; i < SoundStatistics::LATENESS_BOUNDS.size(); ++i) {
    cumulative += counts.lateness[i];
    out.sample("veltrano_sound_lateness_seconds_bucket",
               label("le", bound(SoundStatistics::LATENESS_BOUNDS[i])),
               static_cast<double>(cumulative));
  }
  out.sample("veltrano_sound_lateness_seconds_bucket", label("le", "+Inf"),
             static_cast<double>(counts.latenessCount));
  out.sample("veltrano_sound_lateness_seconds_sum", "", counts.latenessSumSeconds);
  out.sample("veltrano_sound_lateness_seconds_count", "",
             static_cast<double>(counts.latenessCount));
}

void writeStores(MetricsWriter& out, HttpContext& context) {
  struct StoreState {
    const char* file;
    std::uint64_t failures;
    bool failing;
  };
  std::array<StoreState, 3> stores{};
  {
    auto access = context.stores.lockForRound();  // reads only
    stores = {StoreState{"_db.json", access.dbStore().saveFailures(),
                         access.dbStore().saveError().has_value()},
              StoreState{"_shadow.json", access.shadowStore().saveFailures(),
                         access.shadowStore().saveError().has_value()},
              StoreState{"cache.json", access.cacheStore().saveFailures(),
                         access.cacheStore().saveError().has_value()}};
  }
  out.family("veltrano_save_failures_total", "counter",
             "Failed attempts to save a store file, retries counted.");
  for (const auto& store : stores)
    out.sample("veltrano_save_failures_total", label("store", store.file),
               static_cast<double>(store.failures));
  out.family("veltrano_save_failing", "gauge",
             "1 while a store file cannot be saved: changes would be lost on a restart.");
  for (const auto& store : stores)
    out.sample("veltrano_save_failing", label("store", store.file), store.failing ? 1 : 0);
}

void writeClock(MetricsWriter& out) {
  const auto discipline = readClockDiscipline();
  if (!discipline)
    return;  // the platform cannot tell
  out.family("veltrano_clock_synchronised", "gauge",
             "1 while a time service keeps this computer's clock synchronised.");
  out.sample("veltrano_clock_synchronised", "", discipline->synchronised ? 1 : 0);
  if (discipline->estimatedErrorMs) {
    out.family("veltrano_clock_estimated_error_seconds", "gauge",
               "The operating system's estimate of its clock's error.");
    out.sample("veltrano_clock_estimated_error_seconds", "",
               static_cast<double>(*discipline->estimatedErrorMs) / 1000.0);
  }
}

}  // namespace

std::string metricsText(HttpContext& context) {
  MetricsWriter out;
  writeSounds(out, context.statistics.counts());
  writeStores(out, context);
  writeClock(out);
  bool bellsEnabled = context.stores.lockForRound().db().settings.schedulerEnable;
  out.family("veltrano_bells_enabled", "gauge", "1 while the bells ring on their own.");
  out.sample("veltrano_bells_enabled", "", bellsEnabled ? 1 : 0);
  out.family("veltrano_alarm_active", "gauge", "1 while the alarm rings.");
  out.sample("veltrano_alarm_active", "", context.alarm.isActive() ? 1 : 0);
  out.family("veltrano_playing", "gauge", "1 while a sound plays.");
  out.sample("veltrano_playing", "", context.player.isPlaying() ? 1 : 0);
  out.family("veltrano_build_info", "gauge", "The player's version, as a label.");
  out.sample("veltrano_build_info", label("version", context.paths.getVersion()), 1);
  out.family("process_start_time_seconds", "gauge",
             "Start time of the process since the Unix epoch, in seconds.");
  out.sample("process_start_time_seconds", "",
             static_cast<double>(std::chrono::duration_cast<std::chrono::seconds>(
                                     context.startedAt.time_since_epoch())
                                     .count()));
  return out.take();
}

void get_metrics(HttpContext& context, Exchange& exchange) {
  exchange.response().setContent(metricsText(context), "text/plain; version=0.0.4; charset=utf-8");
}

void alerts_test(HttpContext& context, Exchange& exchange) {
  if (context.stores.lock().db().settings.alerts.email.empty())
    throw BadRequest("No e-mail address is set for alerts");
  if (auto failure = context.alerts.sendTest())
    throw HttpError(502, "The test e-mail could not be sent: " + *failure);
  exchange.json(true);
}

}  // namespace veltrano
