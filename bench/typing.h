// Typing into a search dialog's text for the Qt benchmarks, as an operator types.
#pragma once

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QLineEdit>
#include <QString>
#include <algorithm>
#include <chrono>

namespace polizas_bench {

// What a keystroke leaves queued (the list redrawn) is done.
inline void Settle() {
  QCoreApplication::processEvents();
}

// The text becomes `typed`, then, untimed, empty again: one keystroke and its list.
inline void Keystroke(benchmark::State& state, QLineEdit& text, const QString& typed) {
  text.setText(typed);
  Settle();
  state.PauseTiming();
  text.clear();
  Settle();
  state.ResumeTiming();
}

// The word typed key by key, each key one search, then cleared untimed; the slowest key in
// milliseconds goes into `slowest`.
inline void TypeWord(benchmark::State& state, QLineEdit& text, const QString& word,
                     double& slowest) {
  for (int length = 1; length <= word.size(); ++length) {
    const auto start = std::chrono::steady_clock::now();
    text.setText(word.left(length));
    Settle();
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    slowest = std::max(slowest, took.count());
  }
  state.PauseTiming();
  text.clear();
  Settle();
  state.ResumeTiming();
}

}  // namespace polizas_bench
