// The usage help window: three fixed paragraphs and a button that closes it.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace tideedit {

// The form Help. Label1 to Label3: the three paragraphs; Command1: "关闭".
class Help : public QWidget {
public:
    Help();

    void Form_Load();
    void Command1_Click();

    QLabel Label1, Label2, Label3;
    QPushButton Command1;
};

} // namespace tideedit
