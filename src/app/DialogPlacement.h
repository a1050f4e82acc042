#pragma once

class QWidget;

// Centres the dialog over the window of its parent, when it has one. Called
// as it shows: the toolkit's own placement guesses a frame when there is no
// window manager and lands off centre.
void CentreOverParentWindow(QWidget& dialog);
