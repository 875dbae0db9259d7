// The editor's main window: the panel's four lines with their switches, the
// close flag commands, and the menu to the other windows.
#pragma once

#include "kit.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QWidget>

#include <memory>

namespace tideedit {

class adset;
class Peizhi;
class frmAbout;
class Help;

// The form Main. Text1 to Text4: the title, the service line, the support line
// and the address, each after its row label Label1 to Label4 (Label2 to
// Label4 show the stored wording) and before its switch Check1 to Check4;
// Label6: the switches' heading "是否显示"; Label5: the credit line.
// Command1: "确定修改" (store all); Command2: "更新软件" (the update page);
// Command3: "关闭前台程序" (the close flag "End"); Command4: "清空数据" (empty
// the four boxes). Meun and munHelp: the menus, their items named as shown.
class Main : public QWidget {
public:
    Main();
    ~Main() override;

    void Form_Load();
    void Form_Unload();
    void Command1_Click();
    void Command2_Click();
    void Command3_Click();
    void Command4_Click();
    void MeunADSET_Click();
    void Meunpz_Click();
    void MeunUpdata_Click();
    void munding_Click();
    void MeunExit_Click();
    void munre_Click();
    void munshiyong_Click();
    void MeunAbout_Click();

    QMenuBar menuBar;
    QWidget client; // the area below the menu bar that the positions refer to
    QLabel Label1, Label2, Label3, Label4, Label5, Label6;
    LineBox Text1, Text2, Text3, Text4;
    QCheckBox Check1, Check2, Check3, Check4;
    QPushButton Command1, Command2, Command3, Command4;
    QMenu Meun, munHelp;
    QAction *MeunADSET, *Meunpz, *MeunUpdata, *munding, *MeunExit, *munre, *munshiyong, *MeunAbout;

    // The secondary windows' single instances.
    std::unique_ptr<adset> adsetWindow;
    std::unique_ptr<Peizhi> peizhiWindow;
    std::unique_ptr<frmAbout> aboutWindow;
    std::unique_ptr<Help> helpWindow;

    static const QString updatePage;
    static const QString customisationNotice;

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void openUpdatePage();
};

} // namespace tideedit
