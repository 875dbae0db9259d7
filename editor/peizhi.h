// The computer configuration settings window: the five lines of the
// computer's description and the switch of the panel's window showing them.
#pragma once

#include "kit.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace tideedit {

// The form Peizhi of the editor. Label1 to Label5: the row captions of the
// processor, main board, memory, hard disk and remarks lines; Text1 to Text5:
// those lines; Check1: whether the panel shows them; Command1: "确定修改".
class Peizhi : public QWidget {
public:
    Peizhi();

    void Form_Load();
    void Command1_Click();

    QLabel Label1, Label2, Label3, Label4, Label5;
    LineBox Text1, Text2, Text3, Text4, Text5;
    QPushButton Command1;
    QCheckBox Check1;
};

} // namespace tideedit
