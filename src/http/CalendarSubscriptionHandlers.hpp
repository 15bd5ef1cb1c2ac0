#pragma once

#include "foundation/Json.hpp"
#include "http/Exchange.hpp"
#include "http/HttpContext.hpp"

namespace veltrano {

// The subscribed calendars as the dashboard lists them: [{"url", "timeTableId", "name",
// "lastAttempt", "lastSuccess", "lastError", "events"}], "events" counting the single events
// each one holds now. The answer of the calendarSubscriptions target.
Json calendarSubscriptionList(HttpContext& context);

// POST /db/calendar/subscriptions/add, JSON {"url", "timeTableId", "name"}: subscribes to an
// iCalendar URL (http, https or webcal) whose days ring the timetable ("NULL": no bells). The
// name may be empty: the URL's host stands for it. Fetches nothing; answers the list.
void calendar_subscriptions_add(HttpContext& context, Exchange& exchange);

// POST /db/calendar/subscriptions/delete/<index>[?expectUrl=...]: ends the subscription and
// removes its events. With expectUrl, a list that changed meanwhile answers 409 and deletes
// nothing. Answers the list.
void calendar_subscriptions_delete(HttpContext& context, Exchange& exchange);

// POST /db/calendar/subscriptions/refresh: fetches every subscribed calendar now and answers
// the list once done, each with the outcome of its refresh.
void calendar_subscriptions_refresh(HttpContext& context, Exchange& exchange);

}  // namespace veltrano
