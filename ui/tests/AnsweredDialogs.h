#pragma once

#include "ui/shell/FileDialogs.h"

#include <optional>

// The user's answers to the file dialogs: a file name, or cancel when none is set.
struct TAnsweredDialogs final : TFileDialogs {
    std::optional<QString> answer;
    QString shownFilter;

    bool Execute(TFileDialog& dialog, QWidget*) override {
        shownFilter = dialog.Filter;
        if (!answer)
            return false;
        dialog.FileName = *answer;
        return true;
    }
};
