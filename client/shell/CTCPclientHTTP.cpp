// stub: replaced by its implementation
