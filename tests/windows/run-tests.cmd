@echo off
rem Runs the Windows-side tests of setup.exe from this folder and keeps the
rem window open. The results also go to results.xml beside this file.
cd /d "%~dp0"
setup_tests.exe --gtest_output=xml:results.xml %*
pause
