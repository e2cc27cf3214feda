# Run by CPack on its staging tree before the package is made: every directory 0755, whatever
# umask the builder had (the install rules give the files their modes themselves). dpkg creates
# a missing directory with the mode the package gives it, and keeps it.
file(GLOB_RECURSE entries LIST_DIRECTORIES true "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(entry IN ITEMS "${CPACK_TEMPORARY_INSTALL_DIRECTORY}" LISTS entries)
  if(IS_DIRECTORY "${entry}" AND NOT IS_SYMLINK "${entry}")
    file(CHMOD "${entry}" PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
         GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  endif()
endforeach()
