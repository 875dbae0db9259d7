// The advanced settings window: new wording for the panel's three line
// labels, stored only all three at once.
#pragma once

#include "kit.h"

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace tideedit {

// The form adset. Label1 to Label3: the rows "修改<wording>" of the service,
// support and address labels; Text1 to Text3: their new wording; Command1:
// "确定" (store all three).
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
