#pragma once

// The file dialogs of the byte pages ("All Files(*.*)").
#include <platform/StringW.h>

class QWidget;

// The file the user chose to open; empty when cancelled.
CStringW ChooseFileToOpen(QWidget* parent);

// Where "File Save" writes: `automatic` (the loaded file's name with the
// page's suffix) after the user agreed to replace it if it exists, else the
// name chosen in the save dialog. Empty when the user cancelled.
CStringW ChooseFileToSave(QWidget* parent, const CStringW& automatic);
