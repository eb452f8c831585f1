#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelt::emulator {

struct Outcome;

// The --log lines, one per event on standard output, so a test can follow the emulator:
//
//   <t> RX "<command>"[ <name>=<value>]... -> <reply>
//   <t> STATE <name>=<value>...
//   <t> MISMATCH "<bytes>" speed=<bit/s> expected=<bit/s> -> none
//   <t> FLOOD start seconds=<s> rate=<chars/s>
//   <t> FLOOD end bytes=<n>
//   <t> VANISH
//
// <t> is the CLOCK_MONOTONIC time in seconds with three decimals ("12.345"). RX is a command line
// as received, without its carriage return (an over-long one cut to 256 bytes); the name=value
// pairs are the state it set, with its new value even when unchanged (values never hold blanks);
// <reply> is ACK for the single ACK byte, the reply quoted ("80\r", "?\r"), or none when nothing
// is sent (--silent). STATE is a timed change, such as the end of the count down ("power=on").
// MISMATCH is a received piece dropped because the line speed of the other end differs from the
// emulator's (speed=unknown for a speed outside the usual ones). Quoted text escapes \ and " with
// a backslash, shows CR, LF and TAB as \r, \n, \t, and any other byte outside 0x20..0x7E as \xHH.

std::string quotedBytes(std::string_view bytes);
std::string timeStamp(double seconds);

std::string rxLine(double seconds, std::string_view command, const Outcome& outcome, bool answered);
std::string stateLine(double seconds, const std::vector<std::string>& changes);
std::string mismatchLine(double seconds, std::string_view bytes, int speed, int expected);

}  // namespace zelt::emulator
