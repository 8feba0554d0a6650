#pragma once
// The state the windows share: the application-wide window instances and LoginEditMode.

#include <cstdint>

class TForm1;
class TForm2;
class TForm3;
class TForm4;

extern TForm4* Form4; // main window, portal browser
extern TForm1* Form1; // programming wizard
extern TForm2* Form2; // device info window
extern TForm3* Form3; // login window

// 1 while the login window was opened to edit the stored credentials, 0 otherwise.
extern uint8_t LoginEditMode;
