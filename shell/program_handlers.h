#pragma once
// What the settings widgets do to the program state when they change. The window's signal
// handlers and the headless settings target both call these, so the rules live in one place.

#include <QString>
#include <QStringList>

#include "program_state.h"

namespace tavrel {

// Captions of Option1(0..6) and Option2(0..3), top to bottom.
const QStringList& baudCaptions();
const QStringList& portCaptions();

void onPortOption(ProgramState& state, int index);                 // Option2(i) selected
void onBaudOption(ProgramState& state, int index);                 // Option1(i) selected
void onSlaveIdChanged(ProgramState& state, const QString& text);   // Text1 changed
void onFileNameChanged(ProgramState& state, const QString& text);  // Text2 changed

}  // namespace tavrel
