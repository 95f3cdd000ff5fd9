#pragma once

// Date-times are days since 30 December 1899, local time, with the time of day as fraction.
constexpr double SecondsPerDay = 86400.0;
constexpr double MinutesPerDay = 1440.0;
constexpr double HoursPerDay = 24.0;
constexpr double OneMillisecond = 1.0 / 86400000.0;

// The current local date-time.
double Now();

// Conversion between the date-time and seconds since the Unix epoch in local time.
double DateTimeFromLocalUnixSeconds(double localSeconds);
