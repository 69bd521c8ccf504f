#pragma once
// Host application services: the progress display, the message texts and the length overflow
// tolerance. A host (or the command-line tool) installs its progress sink once before it runs a
// nest; the engine reports through ApplicationSetProgress.

#include <functional>
#include <string>

namespace tubenest {

/// Initial progress text of a nest.
inline constexpr const char* SNestOpting = "Nesting parts...";
/// Progress text while the particle swarm optimises.
inline constexpr const char* SOptimizeNest = "Optimizing nest...";
/// Text of the assertion raised for a zero part reference.
inline constexpr const char* SCanNotTransferZero = "Part reference 0 can not be transferred to a part index";

/// Length in mm by which a pattern may exceed its tube and still count as fitting (tail placement).
inline constexpr double Nest_LengthOverflow = 0.01;

/// Progress sink: message, total, step.
using TProgressSink = std::function<void(const std::string& message, int total, int step)>;

/// Installs the host's progress display (an empty function removes it). Not thread-safe against a
/// concurrent ApplicationSetProgress: install it before a nest runs.
void SetApplicationProgressSink(TProgressSink sink);

/// The application object's SetProgress: forwards to the installed sink, if any.
void ApplicationSetProgress(const std::string& message, int total, int step);

} // namespace tubenest
