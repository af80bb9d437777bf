# Copies a text file with CRLF line ends: cmake -DINPUT=... -DOUTPUT=... -P crlf.cmake
cmake_minimum_required(VERSION 3.25)
file(READ ${INPUT} text)
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
