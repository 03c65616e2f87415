#pragma once

#include <QDialog>

namespace veltro {

// The about window `TFAbout`: the program's title, what it is and its version.
class TFAbout : public QDialog {
    Q_OBJECT

public:
    explicit TFAbout(QWidget* parent = nullptr);
};

} // namespace veltro
