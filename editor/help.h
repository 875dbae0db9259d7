// The usage help window: three fixed paragraphs and a button that closes it.
#pragma once

#include <QLabel>
#include <QPushButton>
#include <QWidget>

namespace tideedit {

class Help : public QWidget {
public:
    Help();

    void Form_Load();
    void Command1_Click();

    QLabel Label1, Label2, Label3;
    QPushButton Command1;
};

} // namespace tideedit
