#pragma once
// The state the windows share: the application-wide window instances and LoginEditMode.
// `Form4`, the main window, is declared with its class in shell/corvanabrowser.h, the one
// header of this folder the other windows include.

#include <cstdint>

class TForm1;
class TForm2;
class TForm3;

extern TForm1* Form1; // programming wizard
extern TForm2* Form2; // device info window
extern TForm3* Form3; // login window

// 1 while the login window was opened to edit the stored credentials, 0 otherwise.
extern uint8_t LoginEditMode;
