# A manual page as plain UTF-8 text with Windows line ends (cmake -P):
#   -DGROFF= -DIN= -DOUT=
execute_process(COMMAND ${GROFF} -man -Tutf8 -P-cbou ${IN}
  OUTPUT_VARIABLE text COMMAND_ERROR_IS_FATAL ANY)
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUT} "${text}")
