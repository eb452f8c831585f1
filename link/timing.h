#pragma once

namespace zelt {

// Every interval of the main window's timers, in milliseconds. Timer1 repeats a held arrow's
// command, Timer2 ends an exchange, Timer4 clears the display lines.

// As the window creates its timers, before start-up.
inline constexpr int kInitialTimer1 = 200;
inline constexpr int kInitialTimer2 = 5000;
inline constexpr int kInitialTimer4 = 5500;

// What start-up leaves in force after opening the port; closing the command list window returns
// to them.
inline constexpr int kStartupTimer2 = 1000;
inline constexpr int kStartupTimer4 = 1200;

// While the command list window is open.
inline constexpr int kCommandListTimer2 = 5000;
inline constexpr int kCommandListTimer4 = 5500;

// Press-and-hold: Timer1's repetition period, the exchange timers while an arrow is held, and
// after its release until something else sets them.
inline constexpr int kRepeatPeriod = 100;
inline constexpr int kHoldTimer2 = 150;
inline constexpr int kHoldTimer4 = 200;
inline constexpr int kReleasedTimer2 = 500;
inline constexpr int kReleasedTimer4 = 1000;

// How long the "Not sent" notice stays.
inline constexpr int kNoticeMs = 3000;

// The link keeper, while a lost line waits to come back: how often it looks for the device (a stat
// of its path; an open only once it is there), and how often it tries a network line again (an
// attempt that gets no answer takes up to the connect bound).
inline constexpr int kKeeperDeviceCheckMs = 250;
inline constexpr int kKeeperNetworkRetryMs = 1000;
// A device that is there but held by another program: each try looks through every process's open
// files, so it is tried about once a second rather than at every look.
inline constexpr int kKeeperBusyRetryMs = 1000;

}  // namespace zelt
