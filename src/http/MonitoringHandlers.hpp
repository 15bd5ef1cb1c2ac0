#pragma once

#include <string>

#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// The player's health in the Prometheus text format: sounds due, started, failed and
// skipped by source, how late due sounds started, the clock's discipline, failed saves, the
// alarm, the bells' switch and the process's start.
std::string metricsText(HttpContext& context);

// GET /metrics: metricsText.
void get_metrics(HttpContext& context, Exchange& exchange);
// POST /alerts/test: mails a test message to the alert addresses; 502 with the mail
// program's failure, 400 when no address is set.
void alerts_test(HttpContext& context, Exchange& exchange);

}  // namespace veltrano
