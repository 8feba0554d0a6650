#include "shell/appstate.h"

#include "shell/corvanabrowser.h"

TForm4* Form4 = nullptr;
TForm1* Form1 = nullptr;
TForm2* Form2 = nullptr;
TForm3* Form3 = nullptr;
uint8_t LoginEditMode = 0;
