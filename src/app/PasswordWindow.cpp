#include "app/PasswordWindow.h"

#include "app/Form1.h"

// Placeholder until the password window is built.
Form2::Form2(Form1& owner) : main_(owner) {}
Form2::~Form2() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
}

void Form1::txtPassword_Change() {}
