// The advanced settings window: new wording for the panel's three line
// labels, stored only all three at once.
#pragma once

#include "kit.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace tideedit {

class adset : public QWidget {
public:
    adset();

    void Form_Load();
    void Command1_Click();

    QLabel Label1, Label2, Label3;
    LineBox Text1, Text2, Text3;
    QPushButton Command1;
};

} // namespace tideedit
