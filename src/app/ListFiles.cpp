#include "app/Form1.h"

// Placeholder until list files and sample sites are built.
void Form1::PushButton4_Click() {}
void Form1::PushButton5_Click() {}
void Form1::LoadListFile(WebsiteList&, const std::string&) {}
std::string NormalizePath(const std::string& path) { return path; }
