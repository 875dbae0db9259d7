// The about box: the product, the two programs' versions and the makers'
// contact lines on a picture, without a frame; Enter and Esc close it.
#pragma once

#include <QColor>
#include <QLabel>
#include <QLine>
#include <QPixmap>
#include <QPushButton>
#include <QWidget>

#include <array>

namespace tideedit {

// The form frmAbout. Label5: the panel's version; Label2: the maker; Label1:
// the e-mail address; Label4: the copyright line; the lbl... labels say
// what they show.
class frmAbout : public QWidget {
public:
    frmAbout();

    void Form_Load();
    void cmdOK_Click();

    struct Line {
        QLine line;
        QColor colour;
        int width;
    };

    QLabel lblTitle, lblVersion, Label5, lblDescription, Label2, lblDisclaimer, Label1, Label4;
    std::array<Line, 2> Line1; // a white and a grey line: an etched separator
    QPushButton cmdOK;

protected:
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPixmap picture_;
};

} // namespace tideedit
