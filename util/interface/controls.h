// Sizing labelled controls to their text, and clicking a button from code.
#pragma once

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "platform/interface/divided_control.h"

// Each measures its text in the control's own font, rounds the width up to whole pixels and
// adds a margin; a resized control keeps its height. A null control is left alone.

// Divider at the label's width + 2.
void adjust_txtctrl_divider(BTextControl* control);
void adjust_mfield_divider(BMenuField* control);
// Width of the text + 2.
void adjust_strview_width(QLabel* view);
// Width of the label + 17 + 2, the 17 making room for the mark.
void adjust_rbutton_width(QRadioButton* button);
void adjust_cbox_width(QCheckBox* box);
// The button's preferred width (its size hint), no margin.
void adjust_button_width(QPushButton* button);

// Shows `button` pressed for 50 ms, releases it and clicks it: its pressed, released and
// clicked signals follow as for a click by the user (nothing for a disabled button). Blocks
// the calling thread for those 50 ms. Nothing for a null button.
void click_button(QAbstractButton* button);
