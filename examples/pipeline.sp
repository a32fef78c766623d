109: count < CAP
